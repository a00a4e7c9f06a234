// What a careful engineer checks before shipping: the manifest, DLL planting,
// full and read-only media, and registry state written by someone hostile.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

using namespace qmtest;

constexpr const char* kLibraryError =
    "Error when attempting to modify Quellmark core libraries, please uninstall your current "
    "version, rebooting afterwards if necessary, then try again.";
constexpr const char* kDirectoryError =
    "Error when attempting to establish program directory, please check you have sufficient "
    "permissions to create the target directory and sufficient free space.";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Runs a silent install that must fail with `message`; answers the box and returns the exit code.
std::optional<DWORD> failingSilentInstall(const std::string& arguments,
                                          const std::string& message) {
    Process installer = startInstaller(arguments);
    gui::ShownMessage box = gui::waitForMessageBox(kCaption, installer.id());
    EXPECT_TRUE(box) << "no message for " << arguments;
    if (!box)
        return std::nullopt;
    EXPECT_EQ(box.text, message);
    gui::answerMessageBox(box, IDOK);
    return installer.wait();
}

bool driveAvailable(const char* root) {
    return GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR && directoryExists(root);
}

struct DriveSpace {
    ULONGLONG available = 0; // free to this user
    ULONGLONG total = 0;
};

DriveSpace driveSpace(const std::string& root) {
    ULARGE_INTEGER available{}, total{}, free{};
    EXPECT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) << root;
    return {available.QuadPart, total.QuadPart};
}

// Fills drive `root` until fewer than `leave` bytes are free.
void fillDrive(const std::string& root, ULONGLONG leave) {
    ULONGLONG available = driveSpace(root).available;
    ASSERT_GT(available, leave);
    writeFile(joinPath(root, "filler.bin"),
              std::string(static_cast<size_t>(available - leave), 'F'));
}

// ---- the image ----------------------------------------------------------------

TEST(Shipping, TheManifestAsksForElevationCommonControlsAndDpiAwareness) {
    HMODULE image = LoadLibraryExA(kInstaller, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr) << "no manifest resource";
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, resource)));
    std::string manifest(bytes, SizeofResource(image, resource));
    FreeLibrary(image);

    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0",  // Vista
                           "35138b9a-5d96-4fbd-8e2d-a2440225f93a",  // 7
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",  // 8
                           "1f676c76-80e1-4239-95bb-83d0f6d0da78",  // 8.1
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) // 10 and 11
        EXPECT_NE(manifest.find(os), std::string::npos) << os;

    // Well-formed: every element opened is closed, in order.
    std::vector<std::string> open;
    for (size_t at = manifest.find('<'); at != std::string::npos; at = manifest.find('<', at + 1)) {
        size_t end = manifest.find('>', at);
        ASSERT_NE(end, std::string::npos);
        std::string tag = manifest.substr(at + 1, end - at - 1);
        if (tag[0] == '?' || tag.back() == '/')
            continue;
        std::string name =
            tag.substr(tag[0] == '/', tag.find_first_of(" \t\r\n") - (tag[0] == '/'));
        if (tag[0] == '/') {
            ASSERT_FALSE(open.empty()) << "</" << name << "> closes nothing";
            EXPECT_EQ(open.back(), name);
            open.pop_back();
        } else {
            open.push_back(name);
        }
    }
    EXPECT_TRUE(open.empty());
}

// Wine, like Windows, loads a DLL named without a path from the program's folder
// first: the control case shows it, so the installer's case means something.
// (Wine's own user32 imports version.dll, which its loader resolves from the
// program's folder before any code of ours runs; Windows' user32 does not, and
// that one is beyond any program's reach, so it is not planted here.)
TEST(Shipping, ADllPlantedBesideTheInstallerIsNeverLoaded) {
    const std::string plant = "C:\\Downloads";
    const char* planted[] = {"comctl32.dll", "uxtheme.dll"};
    makeDirectories(plant);
    ASSERT_TRUE(CopyFileA(kInstaller, (plant + "\\QM-Install.exe").c_str(), FALSE));
    for (const char* name : planted)
        ASSERT_TRUE(CopyFileA("C:\\qmtest\\plant.dll", (plant + "\\" + name).c_str(), FALSE));

    ASSERT_TRUE(CopyFileA("C:\\qmtest\\plant.dll", "C:\\qmtest\\mpr.dll", FALSE));
    HMODULE control = LoadLibraryA("mpr.dll");
    ASSERT_NE(control, nullptr);
    char controlPath[MAX_PATH];
    GetModuleFileNameA(control, controlPath, MAX_PATH);
    EXPECT_EQ(lower(controlPath), "c:\\qmtest\\mpr.dll")
        << "this loader does not prefer the program's folder, so the check below shows little";
    FreeLibrary(control);

    Process installer = startInstaller("", plant, plant + "\\QM-Install.exe");
    HWND dialog = gui::waitForWindow(gui::kDialogClass, kTitle, installer.id());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(gui::waitVisible(dialog));

    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, installer.id());
    ASSERT_NE(process, nullptr);
    HMODULE modules[512];
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(process, modules, sizeof modules, &needed));
    bool comctlLoaded = false;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        char path[MAX_PATH];
        if (GetModuleFileNameExA(process, modules[i], path, MAX_PATH) == 0)
            continue;
        std::string name = lower(path);
        for (const char* plantedName : planted)
            EXPECT_NE(name, lower(plant + "\\" + plantedName)) << "loaded the planted DLL";
        // From the system directory, or the side-by-side store the manifest points into.
        comctlLoaded |= name.rfind(lower(windowsDirectory()) + "\\", 0) == 0 && name.size() > 13 &&
                        name.substr(name.size() - 13) == "\\comctl32.dll";
    }
    CloseHandle(process);
    EXPECT_TRUE(comctlLoaded) << "the dialog needs the common controls, from the system";
    for (const char* name : planted)
        EXPECT_FALSE(fileExists(plant + "\\" + name + ".loaded")) << name;
}

// ---- full and read-only media ---------------------------------------------------

TEST(Shipping, AFreshInstallOntoAFullDiskFailsAndLeavesNoLibraryAsIfInstalled) {
    if (!driveAvailable("T:\\"))
        GTEST_SKIP() << "no small tmpfs drive T: (the machine does not allow mounting)";
    fillDrive("T:\\", 200 * 1024);
    EXPECT_EQ(failingSilentInstall("/p:T:\\QM", kLibraryError), 1u);
    auto library = readFile("T:\\QM\\Quellmark.dll");
    EXPECT_TRUE(!library || *library == libraryImage()) << "a cut library is in place";
    EXPECT_FALSE(fileExists("T:\\QM\\Quellmark.exe"));
    EXPECT_TRUE(listFiles("T:\\QM", "iz*.tmp").empty()) << "a partial temporary file stays";
}

TEST(Shipping, AnUpgradeOntoAFullDiskKeepsTheEarlierVersionWhole) {
    if (!driveAvailable("T:\\"))
        GTEST_SKIP() << "no small tmpfs drive T: (the machine does not allow mounting)";
    ASSERT_EQ(runInstaller("/p:T:\\QM /m /s"), 0u);
    killProcesses("Quellmark.exe");
    // Stand in for the earlier version: same sizes, other bytes.
    std::string earlierLibrary = libraryImage(), earlierLauncher = launcherImage();
    earlierLibrary[earlierLibrary.size() - 1] = 'L';
    earlierLauncher[earlierLauncher.size() - 1] = 'E';
    writeFile("T:\\QM\\Quellmark.dll", earlierLibrary);
    writeFile("T:\\QM\\Quellmark.exe", earlierLauncher);
    fillDrive("T:\\", 100 * 1024);

    EXPECT_EQ(failingSilentInstall("/p:T:\\QM /m /s", kLibraryError), 1u);
    EXPECT_EQ(readFile("T:\\QM\\Quellmark.dll"), earlierLibrary);
    EXPECT_EQ(readFile("T:\\QM\\Quellmark.exe"), earlierLauncher);
}

// An import larger than the drive cuts its copy short. The cut copy must neither
// replace the user's settings nor keep the space the product files then need.
TEST(Shipping, AnImportThatDoesNotFitKeepsTheEarlierSettingsAndTheInstallGoesOn) {
    if (!driveAvailable("T:\\"))
        GTEST_SKIP() << "no small tmpfs drive T: (the machine does not allow mounting)";
    ASSERT_EQ(runInstaller("/p:T:\\QM /m /s"), 0u);
    killProcesses("Quellmark.exe");
    writeFile("T:\\QM\\Update.kvc", "earlier settings");
    DriveSpace space = driveSpace("T:\\");
    ASSERT_GT(space.available, libraryImage().size()) << "no room left for an upgrade";
    writeFile("C:\\large.kvc", std::string(static_cast<size_t>(space.total), 'I'));

    EXPECT_EQ(runInstaller("/p:T:\\QM /m /s /i:C:\\large.kvc"), 0u);
    auto settings = readFile("T:\\QM\\Update.kvc");
    EXPECT_TRUE(settings && *settings == "earlier settings")
        << "Update.kvc replaced: now " << (settings ? settings->size() : 0) << " bytes";
    EXPECT_EQ(readFile("T:\\QM\\Quellmark.dll"), libraryImage());
    EXPECT_EQ(readFile("T:\\QM\\Quellmark.exe"), launcherImage());
    EXPECT_TRUE(listFiles("T:\\QM", "iz*.tmp").empty()) << "the cut copy stays";
}

TEST(Shipping, AReadOnlyTargetFailsAtTheFirstStepThatWritesAndWritesNothing) {
    if (!driveAvailable("R:\\"))
        GTEST_SKIP() << "no read-only drive R: (the machine does not allow mounting)";
    // A directory that cannot be made, and one that exists but cannot be written.
    EXPECT_EQ(failingSilentInstall("/p:R:\\New", kDirectoryError), 1u);
    EXPECT_EQ(failingSilentInstall("/p:R:\\QM", kLibraryError), 1u);
    EXPECT_TRUE(listFiles("R:\\QM").empty());
    EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           "Quellmark"));
}

// ---- hostile registry state -------------------------------------------------------

// The options dialog's path field after start-up with the given AppPath data.
std::string proposedDirectory(DWORD type, const std::string& data) {
    createKey(HKEY_CURRENT_USER, kProductKey);
    writeValue(HKEY_CURRENT_USER, kProductKey, "AppPath", type, data);
    Process installer = startInstaller("");
    HWND dialog = gui::waitForWindow(gui::kDialogClass, kTitle, installer.id());
    EXPECT_NE(dialog, nullptr);
    if (dialog == nullptr)
        return "<no dialog>";
    EXPECT_TRUE(gui::waitVisible(dialog));
    std::string text = gui::controlText(dialog, 111);
    EXPECT_TRUE(installer.running()) << "the installer died reading AppPath";
    return text;
}

TEST(Shipping, HostileAppPathValuesNeitherCrashNorOverflow) {
    std::string fallback = proposedDirectory(REG_SZ, std::string(1, '\0'));
    EXPECT_NE(fallback.find("\\Quellmark"), std::string::npos);

    std::string longPath = "C:\\" + std::string(2997, 'a');
    EXPECT_EQ(proposedDirectory(REG_SZ, longPath + '\0'), fallback)
        << "a value longer than the buffer is not used";
    EXPECT_EQ(proposedDirectory(REG_SZ, "E:\\Unterminated"), "E:\\Unterminated");
    // A number is no path: it is passed over like a missing value.
    EXPECT_EQ(proposedDirectory(REG_DWORD, std::string("\x41\x42\x43\x44", 4)), fallback);
}

TEST(Shipping, ALongCommonProgramsValueFallsBackToThePerUserGroup) {
    writeString(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs",
                "C:\\" + std::string(2044, 'c'));
    ASSERT_EQ(runInstaller("/p:C:\\LongQM /m"), 0u);
    EXPECT_TRUE(fileExists(joinPath(perUserGroup(), "Launch Quellmark.lnk")));
}

TEST(Shipping, AnOversizedRenameSectionIsLeftAloneOnTheWindows95Family) {
    ASSERT_EQ(runInstaller("/p:C:\\BusyQM /m /s"), 0u); // leaves the product running
    ASSERT_TRUE(waitFor([] { return !productStarts("C:\\BusyQM").empty(); }));
    setWindowsVersion("win98");
    // 8,190 characters in the form the profile calls exchange: each entry and its NUL.
    std::string section = "[Rename]\r\n";
    size_t characters = 0;
    for (int i = 0; characters < 8190; ++i) {
        std::string entry = "NUL=C:\\OLD\\F" + std::to_string(100000 + i) + ".TMP";
        if (8190 - characters - (entry.size() + 1) < entry.size() + 1)
            entry.insert(12, 8190 - characters - (entry.size() + 1), 'X');
        characters += entry.size() + 1;
        section += entry + "\r\n";
    }
    ASSERT_EQ(characters, 8190u);
    std::string wininit = joinPath(windowsDirectory(), "wininit.ini");
    writeFile(wininit, section);

    // The library in use is then neither replaced nor recorded: the install fails.
    EXPECT_EQ(failingSilentInstall("/p:C:\\BusyQM /m /s", kLibraryError), 1u);
    EXPECT_EQ(readFile(wininit), section) << "an oversized section is refused, not cut";
    killProcesses("Quellmark.exe");
}

} // namespace
