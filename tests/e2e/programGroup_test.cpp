// The start menu group, the uninstaller copy in the system directory and the entry
// in the list of installed programs, as a silent install leaves them.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"
#include "shellLink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace qmtest;

constexpr const char* kLaunch = "Launch Quellmark.lnk";
constexpr const char* kGuide = "User's Guide.lnk";
constexpr const char* kUninstall = "Uninstall Quellmark.lnk";
const std::string kSilent = "/p:\"C:\\Program Files\\Quellmark\"";

std::vector<std::string> shortcutsIn(const std::string& group) {
    std::vector<std::string> names = listFiles(group, "*.lnk");
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> kAllShortcuts = {kLaunch, kUninstall, kGuide};

bool sameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void expectShortcut(const std::string& group, const char* name, const std::string& target,
                    const std::string& arguments, const std::string& iconFile, int iconIndex) {
    SCOPED_TRACE(name);
    auto link = loadShellLink(joinPath(group, name));
    ASSERT_TRUE(link.has_value());
    EXPECT_PRED2(sameText, link->target, target);
    // As the shell reads it: on 64-bit Windows that is without our redirection.
    EXPECT_TRUE(existsNatively(link->target)) << link->target;
    EXPECT_EQ(link->arguments, arguments);
    EXPECT_PRED2(sameText, link->iconFile, iconFile);
    EXPECT_EQ(link->iconIndex, iconIndex);
    EXPECT_TRUE(iconExists(link->iconFile, link->iconIndex))
        << link->iconFile << " has " << iconCount(link->iconFile) << " icons";
}

// An uninstall entry and uninstaller copy as an earlier install left them.
void leaveEarlierRegistration() {
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Quellmark 1.0");
    writeString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "C:\\old\\remove.exe");
    writeFile(uninstallerCopy(), "earlier uninstaller");
}

// A group as an earlier install left it: shortcut files only.
void leaveOldGroup(const std::string& group) {
    makeDirectories(group);
    writeFile(joinPath(group, kLaunch), "old shortcut");
    writeFile(joinPath(group, "Readme Quellmark.lnk"), "old shortcut");
}

TEST(ProgramGroup, SilentInstallMakesTheAllUsersGroupAndRegistersTheUninstaller) {
    ASSERT_EQ(runInstaller(kSilent), 0u);
    killProcesses("Quellmark.exe");

    std::string group = allUsersGroup();
    EXPECT_EQ(shortcutsIn(group), kAllShortcuts);
    EXPECT_FALSE(directoryExists(perUserGroup()));

    std::string launcher = joinPath(kDefaultDir, "Quellmark.exe");
    std::string library = joinPath(kDefaultDir, "Quellmark.dll");
    std::string uninstaller = uninstallerCopy();
    expectShortcut(group, kLaunch, launcher, "", launcher, 0);
    expectShortcut(group, kGuide, launcher, "/help", library, 2);
    expectShortcut(group, kUninstall, uninstaller, "/die", uninstaller, 1);

    auto copy = readFile(uninstaller);
    ASSERT_TRUE(copy.has_value());
    EXPECT_TRUE(*copy == readFile(kInstaller).value_or("")) << "the copy differs";

    auto name = readValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName");
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(name->type, DWORD(REG_SZ));
    EXPECT_EQ(name->data, std::string("Quellmark", 10));
    auto command = readValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(command->type, DWORD(REG_SZ));
    // Written without its terminator, and no byte more: the registry itself adds the
    // terminator (as NT does) when the byte after the given length is zero.
    EXPECT_EQ(command->data, uninstaller + " /die" + '\0');

    // The rest of what the system's list shows beside the name.
    auto text = [](const char* name) {
        auto value = readValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
        return value && value->type == REG_SZ ? value->data : std::string("<missing>");
    };
    auto number = [](const char* name) -> std::optional<DWORD> {
        auto value = readValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
        if (!value || value->type != REG_DWORD || value->data.size() != 4)
            return std::nullopt;
        return *reinterpret_cast<const DWORD*>(value->data.data());
    };
    EXPECT_EQ(text("DisplayIcon"), uninstaller + ",1" + '\0');
    EXPECT_EQ(text("DisplayVersion"), std::to_string(QM_VERSION_MAJOR) + "." +
                                          std::to_string(QM_VERSION_MINOR) + "." +
                                          std::to_string(QM_VERSION_BUILD) + '\0');
    EXPECT_EQ(text("Publisher"), std::string("Quellmark", 10));
    EXPECT_EQ(text("InstallLocation"), std::string(kDefaultDir) + '\0');
    DWORD imagesKib = DWORD((libraryImage().size() + launcherImage().size() + 1023) / 1024);
    EXPECT_EQ(number("EstimatedSize"), std::optional<DWORD>(imagesKib));
    EXPECT_EQ(number("NoModify"), std::optional<DWORD>(1));
    EXPECT_EQ(number("NoRepair"), std::optional<DWORD>(1));

    Output list = runCaptured(nativeProgram("uninstaller.exe") + " --list");
    EXPECT_EQ(list.exitCode, std::optional<DWORD>(0));
    EXPECT_NE(list.text.find("Quellmark"), std::string::npos) << list.text;
}

TEST(ProgramGroup, CurrentUserSwitchPutsTheGroupUnderThePerUserStartMenu) {
    ASSERT_EQ(runInstaller(kSilent + " /c"), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_EQ(shortcutsIn(perUserGroup()), kAllShortcuts);
    EXPECT_FALSE(directoryExists(allUsersGroup()));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST(ProgramGroup, UnusableAllUsersStartMenuFallsBackToPerUserWithoutAMessage) {
    // A drive that does not exist: the folder can be neither made nor entered.
    writeString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", "Q:\\Start Menu\\Programs");

    // A message box would hold the run until the time-out.
    ASSERT_EQ(runInstaller(kSilent, 60000), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_EQ(shortcutsIn(perUserGroup()), kAllShortcuts);
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST(ProgramGroup, EmptyAllUsersStartMenuFallsBackInsteadOfUsingTheDriveRoot) {
    writeString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", "");

    ASSERT_EQ(runInstaller(kSilent, 60000), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_EQ(shortcutsIn(perUserGroup()), kAllShortcuts);
    EXPECT_FALSE(directoryExists("C:\\Quellmark"));
}

TEST(ProgramGroup, StartMenuValueWithoutTerminatorIsReadWhole) {
    // Raw bytes come back from the registry without a terminator added; a longer
    // all-users path read just before leaves its tail in the way.
    makeDirectories("C:\\Menu");
    writeValue(HKEY_CURRENT_USER, kShellFolders, "Programs", REG_BINARY, "C:\\Menu");
    writeString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs",
                "Q:\\A Start Menu Somewhere Far Away\\Programs");

    ASSERT_EQ(runInstaller(kSilent, 60000), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_EQ(shortcutsIn("C:\\Menu\\Quellmark"), kAllShortcuts);
}

TEST(ProgramGroup, NoStartMenuAtAllEndsTheRunWithAMessageAfterTheProductIsInPlace) {
    createKey(HKEY_CURRENT_USER, kProductKey);
    deleteValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
    deleteValue(HKEY_CURRENT_USER, kShellFolders, "Programs");

    Process installer = startInstaller(kSilent);
    gui::ShownMessage box = gui::waitForMessageBox("Quellmark Installer", installer.id(), 60000);
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(box.text, "Error when finding start menu.");
    // The value must still be missing: the run really met a start menu it could not find.
    EXPECT_FALSE(readValue(HKEY_CURRENT_USER, kShellFolders, "Programs").has_value());

    EXPECT_EQ(readFile(joinPath(kDefaultDir, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(readFile(joinPath(kDefaultDir, "Quellmark.exe")), launcherImage());
    auto appPath = readValue(HKEY_CURRENT_USER, kProductKey, "AppPath");
    ASSERT_TRUE(appPath.has_value());
    EXPECT_EQ(appPath->data, std::string(kDefaultDir) + '\0');

    gui::answerMessageBox(box, IDOK);
    EXPECT_EQ(installer.wait(30000), std::optional<DWORD>(1));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(fileExists(uninstallerCopy()));
    EXPECT_TRUE(productStarts(kDefaultDir).empty());
}

TEST(ProgramGroup, ReinstallReplacesTheShortcutsAndKeepsOtherFilesInTheGroup) {
    ASSERT_EQ(runInstaller(kSilent), 0u);
    killProcesses("Quellmark.exe");
    std::string group = allUsersGroup();
    ASSERT_EQ(shortcutsIn(group), kAllShortcuts);

    // A spoilt shortcut, one the new install does not make, and a user's own file.
    writeFile(joinPath(group, kLaunch), "spoilt");
    writeFile(joinPath(group, "Old Tool.lnk"), "old shortcut");
    writeFile(joinPath(group, "notes.txt"), "kept");
    // An earlier per-user group goes too, though this install does not use that menu.
    leaveOldGroup(perUserGroup());

    ASSERT_EQ(runInstaller(kSilent), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_EQ(shortcutsIn(group), kAllShortcuts);
    EXPECT_EQ(readFile(joinPath(group, "notes.txt")), std::optional<std::string>("kept"));
    std::string launcher = joinPath(kDefaultDir, "Quellmark.exe");
    expectShortcut(group, kLaunch, launcher, "", launcher, 0);
    EXPECT_FALSE(directoryExists(perUserGroup()));
}

TEST(ProgramGroup, WithoutTheGroupOptionNothingIsRegistered) {
    ASSERT_EQ(runInstaller(kSilent + " /s"), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_FALSE(directoryExists(allUsersGroup()));
    EXPECT_FALSE(directoryExists(perUserGroup()));
    EXPECT_FALSE(fileExists(uninstallerCopy()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // The product itself is installed all the same.
    EXPECT_EQ(readFile(joinPath(kDefaultDir, "Quellmark.exe")), launcherImage());
}

// The entry stays, but describes this install: an entry naming the earlier one would
// send a deployment tool's detection and uninstall to what is no longer there.
TEST(ProgramGroup, WithoutTheGroupOptionOldGroupsGoAndAnEarlierRegistrationIsKeptUpToDate) {
    leaveOldGroup(allUsersGroup());
    leaveOldGroup(perUserGroup());
    leaveEarlierRegistration();

    ASSERT_EQ(runInstaller(kSilent + " /s"), 0u);
    killProcesses("Quellmark.exe");

    EXPECT_FALSE(directoryExists(allUsersGroup()));
    EXPECT_FALSE(directoryExists(perUserGroup()));
    EXPECT_TRUE(readFile(uninstallerCopy()) == readFile(kInstaller))
        << "the uninstaller copy is not this build";
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Quellmark");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              uninstallerCopy() + " /die");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), kDefaultDir);
}

} // namespace
