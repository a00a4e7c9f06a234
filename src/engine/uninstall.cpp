// uninstall.cpp: the Uninstall command, the uninstall steps and the uninstall ending.
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fileops/fileops.h"
#include "resource.h"

namespace {

constexpr char kCaption[] = "Quellmark Installer";

constexpr char kConfigurationQuestion[] =
    "Do you want to remove your Quellmark configuration data? (these include your custom filter "
    "lists, checkbox options, anonymous proxy lists, advert-removal counters etc)";
constexpr char kDirectoryError[] = "Error when changing to detected Quellmark program directory, "
                                   "please check selected directory is correct.";
constexpr char kInUseMessage[] =
    "While uninstalling some files were in use and were unable to be removed, these files will "
    "be removed next time you restart your computer.\r\n"
    "\r\n"
    "Also please note that you *must* clear your browser's cache in order to remove all remnants "
    "of Quellmark's filtering.  Would you like to see instructions on how to do this?";
constexpr char kCompleteMessage[] = "Uninstallation complete, thank you for trying Quellmark.";

const char* const kProductFiles[] = {"Quellmark.exe", "Quellmark.dll",    "Quellmark.old",
                                     "Quellmark.new", "QMHelp.hlp",       "QMHelp.gid",
                                     "QMHelp.cnt",    "ServerStrings.dat"};
const char* const kConfigurationFiles[] = {"KVCstrings.dat", "KVQMstrings.dat", "KVQMstringsa.dat",
                                           "KVstrings.dat", "CustomStrings.dat"};

// The path field into programDir. Text that does not fit whole is not used: a cut
// path could name another directory, so programDir is left empty and step 1 refuses it.
void readPathField() {
    HWND edit = GetDlgItem(installer.dialogWindow, IDC_PATH);
    int length = GetWindowTextLengthA(edit);
    installer.programDir[0] = 0;
    if (length < 0 || static_cast<DWORD>(length) >= kPathOffer)
        return;
    GetDlgItemTextA(installer.dialogWindow, IDC_PATH, installer.programDir, kPathOffer);
}

char configurationFile[kPathBuffer];
char systemCopy[kPathBuffer];
// The emptied directory by its full name: a relative programDir no longer names it
// once its parent is current.
char emptiedDirectory[kPathBuffer];

BOOL removeProgramDirectory() {
    BOOL removed = RemoveDirectoryA(emptiedDirectory);
    logEvent("removed the program directory", emptiedDirectory, nullptr,
             removed ? ERROR_SUCCESS : GetLastError());
    return removed;
}

// Files that wait for the restart keep the directory until then; it goes after them,
// as the restart works through its list in order. Whatever else is left in it keeps it.
// The 95 family's wininit.ini removes files only.
void scheduleDirectoryRemoval() {
    if (installer.rebootNeeded == 0 || installer.platformId != kPlatformNt)
        return;
    logEvent("removal scheduled for the restart:", emptiedDirectory, nullptr,
             MoveFileExA(emptiedDirectory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? ERROR_SUCCESS
                                                                                 : GetLastError());
}

} // namespace

void startUninstall() {
    installer.operation = kOperationUninstall;
    ShowWindow(installer.dialogWindow, SW_HIDE);
    readPathField();
    logMessage(kConfigurationQuestion, TRUE);
    if (MessageBoxA(installer.dialogWindow, kConfigurationQuestion, kCaption, MB_YESNO) == IDYES) {
        installer.removeConfiguration = 1;
        // An empty field would name "\Config.dat" at the root of the current drive.
        if (installer.programDir[0] != 0 &&
            joinPath(configurationFile, kPathBuffer, installer.programDir, "Config.dat"))
            deleteOrSchedule(configurationFile);
    } else {
        installer.removeConfiguration = 0;
    }
    runEngine();
}

// The configuration stays, as after No: nobody is there to be asked.
void startQuietUninstall() {
    installer.operation = kOperationUninstall;
    installer.removeConfiguration = 0;
    runEngine();
}

BOOL runUninstallSteps() {
    if (installer.programDir[0] == 0 || !SetCurrentDirectoryA(installer.programDir)) {
        showMessage(kDirectoryError);
        errorEnding();
        return FALSE;
    }
    DWORD length = GetCurrentDirectoryA(kPathOffer, emptiedDirectory);
    if (length == 0 || length >= kPathOffer)
        emptiedDirectory[0] = 0;
    cleanTempFiles();
    for (const char* name : kProductFiles)
        deleteOrSchedule(name);
    if (installer.removeConfiguration != 0)
        for (const char* name : kConfigurationFiles)
            deleteOrSchedule(name);
    SetCurrentDirectoryA("..");
    if (emptiedDirectory[0] != 0 && !removeProgramDirectory())
        scheduleDirectoryRemoval();
    return TRUE;
}

void uninstallEnding() {
    logRegistry("deleted", HKEY_LOCAL_MACHINE, uninstallEntryKey, nullptr,
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallEntryKey));
    // Only the copy the install put in the system directory is ours to remove: the
    // running file may be a download or a deployment tool's package. The copy waits for
    // the restart only when it is the one running (by its real name: the restart deletes
    // natively); that alone leaves nothing of the product to complete.
    DWORD productDeferred = installer.rebootNeeded;
    if (realSystemDirectory(systemCopy) &&
        joinPath(installer.tempFileName, kPathBuffer, systemCopy, "QM-Install.exe"))
        deleteOrSchedule(installer.tempFileName);
    if (askYesNo(kInUseMessage))
        showMessage(browserCacheInstructions);
    showMessage(kCompleteMessage);
    endRun(completedExitCode(productDeferred));
}
