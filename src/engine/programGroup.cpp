// programGroup.cpp: the program group, the uninstaller copy and the uninstall entry.
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fileops/fileops.h"
#include "payload/payload.h"
#include "resource.h"
#include "shortcuts/shortcut.h"
#include "ui/ui.h"
#include "version.h"

const char uninstallEntryKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellmark";

namespace {
constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kGroupName[] = "Quellmark";
constexpr char kGroupSuffix[] = "\\Quellmark";
constexpr char kDisplayName[] = QM_PRODUCT_NAME;

// The folder read from the registry is offered kPathOffer bytes; the buffer keeps room
// behind it for a terminator the registry may not have stored and for the group name.
char startMenu[kPathBuffer];
static_assert(kPathOffer + sizeof(kGroupSuffix) <= kPathBuffer, "room for the group name");

char launcherPath[kPathBuffer];
char libraryPath[kPathBuffer];
char systemDir[kPathBuffer];
// Where the uninstaller copy really is; every path that others read for it comes from here.
char uninstallerPath[kPathBuffer];
char uninstallCommand[kPathBuffer];
char quietUninstallCommand[kPathBuffer];
char ownPath[kPathBuffer];
char displayIcon[kPathBuffer];
// Any text a version could be; a longer value is no version of ours and is passed over.
constexpr DWORD kVersionText = 64;
static_assert(sizeof QM_DISPLAY_VERSION < kVersionText, "our own version fits");
char earlierVersion[kVersionText];

// Reads a start-menu folder into startMenu; the reason when there is none to use.
DWORD readStartMenu(BOOL allUsers) {
    return readPathValue(allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kShellFolders,
                         allUsers ? "Common Programs" : "Programs", startMenu, FALSE);
}

// The group folder of the chosen start menu made current; the message when it cannot be.
const char* enterProgramGroup() {
    BOOL allUsers = optionOn(Option::AllUsers);
    for (;;) {
        DWORD error = readStartMenu(allUsers);
        if (error != ERROR_SUCCESS) {
            logRegistry("read", allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kShellFolders,
                        allUsers ? "Common Programs" : "Programs",
                        static_cast<LONG>(asFailure(error)));
            if (!allUsers)
                return "Error when finding start menu.";
        } else {
            textAppend(startMenu, kPathBuffer, kGroupSuffix);
            error = makeAndEnterDirectory(startMenu);
            logFile("made the program group", startMenu, nullptr, asFailure(error));
            if (error == ERROR_SUCCESS)
                return nullptr;
            if (!allUsers)
                return "Error when creating Quellmark program group.";
        }
        allUsers = FALSE;
    }
}

// <system dir>\QM-Install.exe in uninstallerPath, named where the file really is: the
// list of programs, the shell and the restart read it without our redirection.
// FALSE when it cannot be formed whole.
BOOL makeUninstallerPath() {
    if (!realSystemDirectory(systemDir)) {
        uninstallerPath[0] = 0;
        return FALSE;
    }
    return joinPath(uninstallerPath, kPathBuffer, systemDir, "QM-Install.exe");
}

void copyInstaller(BOOL haveUninstallerPath) {
    DWORD length = GetModuleFileNameA(nullptr, ownPath, kPathOffer);
    if (haveUninstallerPath && length != 0 && length < kPathOffer)
        logFile("copied", uninstallerPath, ownPath,
                CopyFileA(ownPath, uninstallerPath, FALSE) ? ERROR_SUCCESS
                                                           : asFailure(GetLastError()));
}

void setValue(HKEY key, const char* name, DWORD type, const void* data, DWORD length) {
    LONG result = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), length);
    logRegistry("wrote", HKEY_LOCAL_MACHINE, uninstallEntryKey, name,
                static_cast<LONG>(asFailure(static_cast<DWORD>(result))));
}

void setStringValue(HKEY key, const char* name, const char* text) {
    setValue(key, name, REG_SZ, text, textLength(text, kPathOffer) + 1);
}

void setNumberValue(HKEY key, const char* name, DWORD number) {
    setValue(key, name, REG_DWORD, &number, sizeof number);
}

// A downgrade is allowed, but the log must say what it replaced. The value may lack its
// terminator, so one is put behind what was returned.
void logReplacedVersion(HKEY key) {
    DWORD type = 0;
    DWORD size = kVersionText - 1;
    if (RegQueryValueExA(key, "DisplayVersion", nullptr, &type,
                         reinterpret_cast<BYTE*>(earlierVersion), &size) != ERROR_SUCCESS ||
        type != REG_SZ || size >= kVersionText)
        return;
    earlierVersion[size] = 0;
    const char* ours = QM_DISPLAY_VERSION;
    DWORD i = 0;
    while (earlierVersion[i] != 0 && earlierVersion[i] == ours[i])
        ++i;
    if (earlierVersion[0] != 0 && earlierVersion[i] != ours[i])
        logEvent("version " QM_DISPLAY_VERSION " replaces the uninstall entry's version",
                 earlierVersion, nullptr, kNoResult);
}

// What the system's list of programs shows beside the name: the uninstaller's icon,
// version, publisher, place and size, and no Change or Repair, which we do not offer.
void describeProduct(HKEY key) {
    if (textCopy(displayIcon, kPathBuffer, uninstallerPath) &&
        textAppend(displayIcon, kPathBuffer, ",1"))
        setStringValue(key, "DisplayIcon", displayIcon);
    logReplacedVersion(key);
    setStringValue(key, "DisplayVersion", QM_DISPLAY_VERSION);
    setNumberValue(key, "VersionMajor", QM_VERSION_MAJOR);
    setNumberValue(key, "VersionMinor", QM_VERSION_MINOR);
    setStringValue(key, "Publisher", QM_PUBLISHER);
    if (textLength(installer.programDir, kPathOffer) < kPathOffer)
        setStringValue(key, "InstallLocation", installer.programDir);
    DWORD total = 0;
    const void* image;
    DWORD size;
    if (findPayload(IDR_LIBRARY_IMAGE, &image, &size))
        total += size;
    if (findPayload(IDR_LAUNCHER_IMAGE, &image, &size))
        total += size;
    setNumberValue(key, "EstimatedSize", (total + 1023) / 1024);
    setNumberValue(key, "NoModify", 1);
    setNumberValue(key, "NoRepair", 1);
}

void registerUninstaller(BOOL haveUninstallerPath) {
    // An entry whose command is cut or missing could only run the wrong thing.
    HKEY key;
    if (haveUninstallerPath && textCopy(uninstallCommand, kPathBuffer, uninstallerPath) &&
        textAppend(uninstallCommand, kPathBuffer, " /die") &&
        RegCreateKeyA(HKEY_LOCAL_MACHINE, uninstallEntryKey, &key) == ERROR_SUCCESS) {
        setValue(key, "DisplayName", REG_SZ, kDisplayName, sizeof(kDisplayName));
        setValue(key, "UninstallString", REG_SZ, uninstallCommand,
                 textLength(uninstallCommand, kPathBuffer));
        // For deployment tools; the system's own list keeps the interactive uninstall.
        if (textCopy(quietUninstallCommand, kPathBuffer, "\"") &&
            textAppend(quietUninstallCommand, kPathBuffer, uninstallerPath) &&
            textAppend(quietUninstallCommand, kPathBuffer, "\" /q /die"))
            setStringValue(key, "QuietUninstallString", quietUninstallCommand);
        describeProduct(key);
        RegCloseKey(key);
    }
}

void removeGroupAt(BOOL allUsers) {
    if (readStartMenu(allUsers) == ERROR_SUCCESS && SetCurrentDirectoryA(startMenu) &&
        SetCurrentDirectoryA(kGroupName)) {
        deleteMatching("*.lnk");
        SetCurrentDirectoryA("..");
        // Fails, unnoticed, while files other than shortcuts are left in the group.
        DWORD error = RemoveDirectoryA(kGroupName) ? ERROR_SUCCESS : GetLastError();
        logFile("removed the program group", kGroupName, nullptr,
                error == ERROR_DIR_NOT_EMPTY ? kResultKeptNotEmpty : error);
    }
}
} // namespace

void removeOldProgramGroups() {
    removeGroupAt(FALSE);
    removeGroupAt(TRUE);
}

BOOL createProgramGroup() {
    const char* failure = enterProgramGroup();
    if (failure != nullptr) {
        showMessage(failure);
        errorEnding();
        return FALSE;
    }
    BOOL haveLauncher = joinPath(launcherPath, kPathBuffer, installer.programDir, "Quellmark.exe");
    BOOL haveLibrary = joinPath(libraryPath, kPathBuffer, installer.programDir, "Quellmark.dll");
    if (haveLauncher)
        createShortcut(launcherPath, "Launch Quellmark.lnk", launcherPath, nullptr, 0);
    if (haveLauncher && haveLibrary)
        createShortcut(launcherPath, "User's Guide.lnk", libraryPath, "/help", 2);
    BOOL haveUninstallerPath = makeUninstallerPath();
    if (haveUninstallerPath)
        createShortcut(uninstallerPath, "Uninstall Quellmark.lnk", uninstallerPath, "/die", 1);
    copyInstaller(haveUninstallerPath);
    registerUninstaller(haveUninstallerPath);
    return TRUE;
}

void updateUninstallEntry() {
    if (!uninstallEntryExists())
        return;
    logRegistry("no program group; bringing up to date the uninstall entry", HKEY_LOCAL_MACHINE,
                uninstallEntryKey, nullptr, kNoResult);
    BOOL haveUninstallerPath = makeUninstallerPath();
    copyInstaller(haveUninstallerPath);
    registerUninstaller(haveUninstallerPath);
}
