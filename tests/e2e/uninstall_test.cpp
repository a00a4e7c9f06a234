// The uninstall as users start it: the relabelled dialog, the Uninstall button, the
// system copy that the shortcut and the list of installed programs run, and what each
// leaves behind on disk, in the registry and for the next restart.
#include "facts.h"
#include "gui.h"
#include "product.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace qmtest;
using namespace qmtest::gui;

constexpr int kMainButton = IDOK;

constexpr const char* kConfigurationQuestion =
    "Do you want to remove your Quellmark configuration data? (these include your custom "
    "filter lists, checkbox options, anonymous proxy lists, advert-removal counters etc)";
constexpr const char* kInUseQuestion =
    "While uninstalling some files were in use and were unable to be removed, these files "
    "will be removed next time you restart your computer.\r\n"
    "\r\n"
    "Also please note that you *must* clear your browser's cache in order to remove all "
    "remnants of Quellmark's filtering.  Would you like to see instructions on how to do this?";
constexpr const char* kComplete = "Uninstallation complete, thank you for trying Quellmark.";
constexpr const char* kDirectoryError = "Error when changing to detected Quellmark program "
                                        "directory, please check selected directory is correct.";

// Eleven lines, each ended by CR LF.
const std::vector<std::string> kBrowserCacheLines = {
    "Please find the browser you use from the list below:",
    "(feel free to carry out the instructions with this message box in the background)",
    "",
    "Internet Explorer (or NetCaptor):",
    "Open Internet Explorer; click the \"Tools\" menu, then \"Internet Options\".  A window will "
    "appear with a section in the middle named \"Temporary Internet Files\", click the \"Delete "
    "Files\" button on that.  Another box will appear, click \"OK\" then close the opened "
    "windows.",
    "",
    "Mozilla or Netscape:",
    "Open your browser; click the \"Edit\" menu, then \"Preferences\".  A window will appear, "
    "double-click the \"Advanced\" entry at the bottom of the list, it will expand to show a "
    "\"Cache\" entry, click on that and you'll see your cache options.  Click the \"Clear Disk "
    "Cache\" button, then \"OK\" and close the opened windows.",
    "",
    "Opera:",
    "Open Opera; click the \"Tools\" menu then \"Preferences\".  Click on the \"History and "
    "Cache\" entry at the end of the list and your cache options will appear.  Click the "
    "\"Empty now\" button and close the opened windows.",
};

const std::vector<std::string> kProductFiles = {
    "Quellmark.exe", "Quellmark.dll", "Quellmark.old", "Quellmark.new",
    "QMHelp.hlp",    "QMHelp.gid",    "QMHelp.cnt",    "ServerStrings.dat"};
const std::vector<std::string> kConfigurationFiles = {"Config.dat",      "KVCstrings.dat",
                                                      "KVQMstrings.dat", "KVQMstringsa.dat",
                                                      "KVstrings.dat",   "CustomStrings.dat"};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// The files of `names` that exist in `directory`.
std::vector<std::string> present(const std::string& directory,
                                 const std::vector<std::string>& names) {
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (fileExists(joinPath(directory, name)))
            found.push_back(name);
    return found;
}

// Full paths, in capitals, that PendingFileRenameOperations deletes at the restart.
std::set<std::string> pendingDeletions() {
    std::set<std::string> paths;
    for (const auto& [source, destination] : pendingRenames()) {
        if (!destination.empty())
            continue;
        // Stored as NT names: "\??\C:\...".
        std::string path = source.rfind("\\??\\", 0) == 0 ? source.substr(4) : source;
        paths.insert(upper(path));
    }
    return paths;
}

// The entries of [Rename] in wininit.ini, in file order.
std::vector<std::string> renameEntries() {
    std::string wininit = joinPath(windowsDirectory(), "wininit.ini");
    static char section[16384];
    DWORD length = GetPrivateProfileSectionA("Rename", section, sizeof section, wininit.c_str());
    std::vector<std::string> entries;
    for (DWORD i = 0; i < length; i += static_cast<DWORD>(entries.back().size()) + 1)
        entries.emplace_back(section + i);
    return entries;
}

class Uninstall : public ::testing::Test {
  protected:
    const std::string target = "C:\\Program Files\\QM Removal";

    void SetUp() override {
        // Made by the product in real life; without it no AppPath would be proposed.
        createKey(HKEY_CURRENT_USER, kProductKey);
        createKey(HKEY_CURRENT_USER, kBrowserKey);
        writeString(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Decorated", "N");
    }
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }

    // A silent install with every option on, without the product it starts or its logs.
    void install() {
        ASSERT_EQ(runInstaller("/p:" + quoted(target)), std::optional<DWORD>(0));
        ASSERT_TRUE(waitFor([&] { return productStarts(target).size() == 1; }, kDefaultTimeoutMs))
            << "the install did not start the product";
        killProcesses("Quellmark.exe");
        DeleteFileA(joinPath(target, "Quellmark.log").c_str());
        DeleteFileA(joinPath(target, "Quellmark.messages.log").c_str());
        ASSERT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        ASSERT_TRUE(fileExists(uninstallerCopy()));
    }

    // The files an install does not write, as later versions and the product leave them.
    void addProductFiles() {
        for (const std::string& name : kProductFiles)
            if (!fileExists(joinPath(target, name)))
                writeFile(joinPath(target, name), name + " contents");
    }
    void addConfiguration() {
        for (const std::string& name : kConfigurationFiles)
            writeFile(joinPath(target, name), "settings of " + name);
    }

    static void answer(DWORD processId, const std::string& text, int button, HWND owner = nullptr) {
        ShownMessage box = waitForMessageBox(kCaption, processId);
        ASSERT_TRUE(box) << "no message box, expected: " << text;
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), owner) << text;
        EXPECT_TRUE(answerMessageBox(box, button));
    }

    // The main button of the uninstall dialog, then the configuration question.
    static void confirm(HWND dialog, DWORD processId, int button, int configuration) {
        pressButton(dialog, button);
        answer(processId, kConfigurationQuestion, configuration, dialog);
    }

    // The in-use question, with the browser-cache instructions on Yes, then completion.
    static void finish(DWORD processId, int inUse) {
        answer(processId, kInUseQuestion, inUse);
        if (inUse == IDYES) {
            ShownMessage box = waitForMessageBox(kCaption, processId);
            ASSERT_TRUE(box) << "no browser-cache instructions";
            std::vector<std::string> expected = kBrowserCacheLines;
            expected.push_back(""); // the last line ends with CR LF too
            EXPECT_EQ(splitLines(box.text), expected);
            EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr);
            EXPECT_TRUE(answerMessageBox(box, IDOK));
        }
        answer(processId, kComplete, IDOK);
    }

    // A whole uninstall of `target` through the dialog of `uninstaller`.
    static void uninstall(Process& uninstaller, int configuration, int inUse = IDNO) {
        HWND dialog = optionsDialog(uninstaller);
        ASSERT_NE(dialog, nullptr) << "no uninstall dialog";
        ASSERT_EQ(controlText(dialog, kMainButton), "Uninstall");
        confirm(dialog, uninstaller.id(), kMainButton, configuration);
        finish(uninstaller.id(), inUse);
        EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));
    }

    // What no uninstall touches.
    void expectLeftInPlace() {
        EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kProductKey, "AppPath"), target);
        EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kBrowserKey, "Disable Script Debugger"), "yes");
    }
};

TEST_F(Uninstall, FromTheSystemCopyRemovesTheProductAndSchedulesItsOwnFile) {
    ASSERT_NO_FATAL_FAILURE(install());
    addProductFiles();
    writeFile(joinPath(target, "izd1A2B.tmp"), "left by an interrupted install");
    // A group and a Run value of an earlier per-user install.
    std::string userGroup = perUserGroup();
    makeDirectories(userGroup);
    writeFile(joinPath(userGroup, "Launch Quellmark.lnk"), "old shortcut");
    writeString(HKEY_CURRENT_USER, kRunKey, "Quellmark", "\"C:\\old\\Quellmark.exe\" /bt");
    writeString(HKEY_CURRENT_USER, kRunKey, "Other", "other.exe");
    std::string machineGroup = allUsersGroup();
    ASSERT_TRUE(directoryExists(machineGroup));
    ASSERT_NE(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    ASSERT_NE(runCaptured("uninstaller.exe --list").text.find("Quellmark"), std::string::npos);

    // As the shortcut and the list of installed programs start it.
    Process uninstaller = start(quoted(uninstallerCopy()) + " /die", kStage);
    HWND dialog = optionsDialog(uninstaller);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlText(dialog, kGroupBox), "Uninstall options");
    EXPECT_EQ(controlText(dialog, kPathLabel), "Remove program files from:");
    EXPECT_EQ(controlText(dialog, kMainButton), "Uninstall");
    EXPECT_FALSE(isVisible(dialog, kUninstallButton));
    for (int box : {kProgramGroupBox, kAutostartBox, kAllUsersBox}) {
        EXPECT_FALSE(isEnabled(dialog, box)) << box;
        EXPECT_TRUE(isChecked(dialog, box)) << box;
    }
    EXPECT_EQ(controlText(dialog, kPathEdit), target);
    EXPECT_TRUE(saveScreenshot(dialog, "uninstall-from-system-copy"));

    confirm(dialog, uninstaller.id(), kMainButton, IDNO);
    EXPECT_FALSE(IsWindowVisible(dialog));
    finish(uninstaller.id(), IDNO);
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));

    EXPECT_EQ(present(target, kProductFiles), std::vector<std::string>{});
    EXPECT_FALSE(directoryExists(target))
        << "left: " << ::testing::PrintToString(listFiles(target));
    EXPECT_FALSE(directoryExists(userGroup));
    EXPECT_FALSE(directoryExists(machineGroup));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kRunKey, "Quellmark"), "<absent>");
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kRunKey, "Other"), "other.exe");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    Output listed = runCaptured("uninstaller.exe --list");
    EXPECT_TRUE(listed.exitCode.has_value());
    EXPECT_EQ(listed.text.find("Quellmark"), std::string::npos) << listed.text;
    expectLeftInPlace();

    // The running copy could not go at once: it goes at the restart.
    EXPECT_EQ(pendingDeletions(), std::set<std::string>{upper(uninstallerCopy())});
    EXPECT_TRUE(fileExists(uninstallerCopy()));
    restartWindows();
    EXPECT_FALSE(fileExists(uninstallerCopy()));
}

TEST_F(Uninstall, ConfigurationGoesOnlyOnYesAndTheUpdateFileAlwaysStays) {
    // The install copies it into the program directory; the uninstall removes only that copy.
    writeFile(joinPath(systemDirectory(), "KVCstrings.dat"), "system strings");
    ASSERT_NO_FATAL_FAILURE(install());
    EXPECT_EQ(readFile(joinPath(target, "KVCstrings.dat")), "system strings");
    addProductFiles();
    addConfiguration();
    writeFile(joinPath(target, "Update.kvc"), "imported settings");

    // No: the configuration keeps the directory.
    Process first = startInstaller("/fdie");
    ASSERT_NO_FATAL_FAILURE(uninstall(first, IDNO));
    EXPECT_EQ(present(target, kProductFiles), std::vector<std::string>{});
    EXPECT_EQ(present(target, kConfigurationFiles), kConfigurationFiles);
    EXPECT_EQ(readFile(joinPath(target, "Config.dat")), "settings of Config.dat");

    // Yes, from the Uninstall button of an ordinary install dialog.
    addProductFiles();
    Process second = startInstaller("");
    HWND dialog = optionsDialog(second);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(controlText(dialog, kMainButton), "Install");
    EXPECT_EQ(controlText(dialog, kPathEdit), target);
    confirm(dialog, second.id(), kUninstallButton, IDYES);
    finish(second.id(), IDNO);
    EXPECT_EQ(second.wait(), std::optional<DWORD>(0));
    EXPECT_EQ(present(target, kProductFiles), std::vector<std::string>{});
    EXPECT_EQ(present(target, kConfigurationFiles), std::vector<std::string>{});

    // Update.kvc survived both and keeps the directory.
    EXPECT_EQ(readFile(joinPath(target, "Update.kvc")), "imported settings");
    EXPECT_EQ(listFiles(target), std::vector<std::string>{"Update.kvc"});
    EXPECT_EQ(readFile(joinPath(systemDirectory(), "KVCstrings.dat")), "system strings");
    expectLeftInPlace();
}

TEST_F(Uninstall, FilesInUseOnTheNtFamilyArePendingDeletionsCarriedOutAtRestart) {
    ASSERT_NO_FATAL_FAILURE(install());
    addProductFiles();
    Process uninstaller = startInstaller("/dies");
    HWND dialog = optionsDialog(uninstaller);
    ASSERT_NE(dialog, nullptr);
    // Started after the dialog opened, so that nobody asks it to close.
    Process product = startProduct(target);
    ASSERT_TRUE(product.running());

    confirm(dialog, uninstaller.id(), kMainButton, IDNO);
    // Yes: the instructions come before the completion message.
    ASSERT_NO_FATAL_FAILURE(finish(uninstaller.id(), IDYES));
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));

    EXPECT_EQ(present(target, kProductFiles),
              (std::vector<std::string>{"Quellmark.exe", "Quellmark.dll"}));
    EXPECT_TRUE(directoryExists(target));
    // The directory they keep goes after them. The system copy is not the running file,
    // so it goes at once; the file that ran, as a download would, is never touched.
    std::set<std::string> expected = {upper(joinPath(target, "Quellmark.exe")),
                                      upper(joinPath(target, "Quellmark.dll")), upper(target)};
    EXPECT_EQ(pendingDeletions(), expected);
    EXPECT_TRUE(renameEntries().empty());
    EXPECT_FALSE(fileExists(uninstallerCopy()));

    product.kill();
    killProcesses("Quellmark.exe");
    restartWindows();
    EXPECT_EQ(present(target, kProductFiles), std::vector<std::string>{});
    EXPECT_TRUE(fileExists(kInstaller));
}

TEST_F(Uninstall, FilesInUseOnThe95FamilyAreRenameEntriesCarriedOutAtRestart) {
    ASSERT_NO_FATAL_FAILURE(install());
    addProductFiles();
    writeString(HKEY_CURRENT_USER, kProductKey, "DCC", "old");
    setWindowsVersion("win98");
    // /r behind /die is not read: an uninstall runs and DCC is left alone.
    Process uninstaller = startInstaller("/die /r");
    HWND dialog = optionsDialog(uninstaller);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(controlText(dialog, kPathLabel), "Remove program files from:");
    Process product = startProduct(target);
    ASSERT_TRUE(product.running());

    ASSERT_NO_FATAL_FAILURE(uninstall(uninstaller, IDNO));
    EXPECT_EQ(readValue(HKEY_CURRENT_USER, kProductKey, "DCC").value_or(RegValue{}).data,
              std::string("old", 4));

    EXPECT_EQ(present(target, kProductFiles),
              (std::vector<std::string>{"Quellmark.exe", "Quellmark.dll"}));
    EXPECT_TRUE(directoryExists(target));
    EXPECT_EQ(renameEntries(),
              (std::vector<std::string>{"NUL=" + shortPath(joinPath(target, "Quellmark.exe")),
                                        "NUL=" + shortPath(joinPath(target, "Quellmark.dll"))}));
    EXPECT_TRUE(pendingRenames().empty());
    EXPECT_FALSE(fileExists(uninstallerCopy()));

    product.kill();
    killProcesses("Quellmark.exe");
    restartWindows();
    EXPECT_EQ(present(target, kProductFiles), std::vector<std::string>{});
    EXPECT_TRUE(fileExists(kInstaller));
}

TEST_F(Uninstall, AMissingTypedDirectoryIsReportedAndACorrectedPathUninstalls) {
    ASSERT_NO_FATAL_FAILURE(install());
    const std::string missing = "C:\\Program Files\\No Such Quellmark";
    Process uninstaller = startInstaller("/die");
    HWND dialog = optionsDialog(uninstaller);
    ASSERT_NE(dialog, nullptr);
    // An empty field names no directory, and no Config.dat at the root of the drive either.
    writeFile("C:\\Config.dat", "not the product's");
    setControlText(dialog, kPathEdit, "");
    pressButton(dialog, kMainButton);
    answer(uninstaller.id(), kDirectoryError, IDOK);
    ASSERT_TRUE(waitVisible(dialog)) << "the dialog did not come back";
    EXPECT_EQ(readFile("C:\\Config.dat"), "not the product's");

    setControlText(dialog, kPathEdit, missing);
    pressButton(dialog, kMainButton);
    answer(uninstaller.id(), kDirectoryError, IDOK);
    ASSERT_TRUE(waitVisible(dialog)) << "the dialog did not come back";
    EXPECT_EQ(controlText(dialog, kPathEdit), missing);
    EXPECT_FALSE(directoryExists(missing));
    EXPECT_TRUE(fileExists(joinPath(target, "Quellmark.exe")));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "went on after the error";

    setControlText(dialog, kPathEdit, target);
    ASSERT_NO_FATAL_FAILURE(uninstall(uninstaller, IDNO));
    EXPECT_FALSE(directoryExists(target));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// Installed before the product ever ran, so with no AppPath of the user's: the machine's
// record of the install leads both the uninstall and the upgrade back to the directory.
TEST_F(Uninstall, TheDialogsFindAnInstallMadeWithoutTheProductKey) {
    deleteKey(HKEY_CURRENT_USER, kProductKey);
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_EQ(stringValue(HKEY_CURRENT_USER, kProductKey, "AppPath"), "<absent>");
    EXPECT_EQ(proposedDirectory("/die"), target);
    EXPECT_EQ(proposedDirectory(""), target);

    // The machine's records come before the user's AppPath, which any program of the
    // user may write; it is proposed only where the machine recorded nothing.
    writeString(HKEY_CURRENT_USER, kProductKey, "AppPath", "D:\\Mine");
    writeString(HKEY_LOCAL_MACHINE, kProductKey, "AppPath", "D:\\Machine");
    EXPECT_EQ(proposedDirectory(""), target);
    deleteKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    EXPECT_EQ(proposedDirectory("/die"), "D:\\Machine");
    deleteValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath");
    EXPECT_EQ(proposedDirectory(""), "D:\\Mine");
}

// A folder of the user's, typed or browsed to: neither it nor the real install loses
// anything, and the dialog comes back before anything is asked.
TEST_F(Uninstall, TheDialogRemovesNothingFromAFolderWithoutTheProduct) {
    ASSERT_NO_FATAL_FAILURE(install());
    const std::string theirs = "C:\\My Settings";
    const std::vector<std::string> configuration = {"Config.dat", "KVstrings.dat",
                                                    "CustomStrings.dat"};
    makeDirectories(theirs);
    for (const std::string& name : configuration)
        writeFile(joinPath(theirs, name), "mine: " + name);
    const std::string runValue = stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark");
    ASSERT_NE(runValue, "<absent>");

    Process uninstaller = startInstaller("/die");
    HWND dialog = optionsDialog(uninstaller);
    ASSERT_NE(dialog, nullptr);
    setControlText(dialog, kPathEdit, theirs);
    pressButton(dialog, kMainButton);
    answer(uninstaller.id(), kDirectoryError, IDOK);
    ASSERT_TRUE(waitVisible(dialog)) << "the dialog did not come back";
    pressButton(dialog, kExitButton);
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));

    for (const std::string& name : configuration)
        EXPECT_EQ(readFile(joinPath(theirs, name)), "mine: " + name);
    EXPECT_EQ(present(target, {"Quellmark.exe", "Quellmark.dll"}),
              (std::vector<std::string>{"Quellmark.exe", "Quellmark.dll"}));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(directoryExists(allUsersGroup()));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), runValue);
    EXPECT_TRUE(fileExists(uninstallerCopy()));
}

TEST_F(Uninstall, TheSystemsListOfProgramsUninstallsAndTheRestartRemovesTheCopy) {
    ASSERT_NO_FATAL_FAILURE(install());
    // The list selects an entry by its key name. It is a native program: on 64-bit
    // Windows it runs the registered command without our redirection.
    Process client = start(nativeProgram("uninstaller.exe") + " --remove Quellmark", kStage);
    // Whichever process it is: the list starts the registered command itself.
    HWND dialog = waitForWindow(kDialogClass, kTitle);
    ASSERT_NE(dialog, nullptr) << "the registered command did not open the uninstall dialog";
    ASSERT_TRUE(waitVisible(dialog));
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    EXPECT_EQ(controlText(dialog, kMainButton), "Uninstall");
    EXPECT_EQ(controlText(dialog, kPathEdit), target);

    confirm(dialog, processId, kMainButton, IDNO);
    finish(processId, IDNO);
    EXPECT_TRUE(client.wait().has_value());

    EXPECT_FALSE(directoryExists(target));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_EQ(pendingDeletions(), std::set<std::string>{upper(uninstallerCopy())});

    restartWindows();
    EXPECT_FALSE(fileExists(uninstallerCopy()));
    EXPECT_FALSE(fileExists(joinPath(nativeSystemDirectory(), "QM-Install.exe")));
}

} // namespace
