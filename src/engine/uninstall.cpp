// uninstall.cpp: the Uninstall command, the uninstall steps and the uninstall ending.
#include "agreementPacked.h"
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fileops/fileops.h"
#include "resource.h"
#include "ui/ui.h"

namespace {

const char* const kProductFiles[] = {"Quellmark.exe", "Quellmark.dll",    "Quellmark.old",
                                     "Quellmark.new", "QMHelp.hlp",       "QMHelp.gid",
                                     "QMHelp.cnt",    "ServerStrings.dat"};
const char* const kConfigurationFiles[] = {"KVCstrings.dat", "KVQMstrings.dat", "KVQMstringsa.dat",
                                           "KVstrings.dat", "CustomStrings.dat"};

char configurationFile[kPathBuffer];
char systemCopy[kPathBuffer];
// The emptied directory by its full name: a relative programDir no longer names it
// once its parent is current.
char emptiedDirectory[kPathBuffer];

BOOL removeProgramDirectory() {
    BOOL removed = RemoveDirectoryA(emptiedDirectory);
    DWORD error = removed ? ERROR_SUCCESS : GetLastError();
    logFile("removed the program directory", emptiedDirectory, nullptr,
            error == ERROR_DIR_NOT_EMPTY ? kResultKeptNotEmpty : error);
    return removed;
}

// Files that wait for the restart keep the directory until then; it goes after them,
// as the restart works through its list in order. Whatever else is left in it keeps it.
// The 95 family's wininit.ini removes files only.
void scheduleDirectoryRemoval() {
    if (installer.rebootNeeded == 0 || installer.platformId != kPlatformNt)
        return;
    logFile("deletion at the restart of", emptiedDirectory, nullptr,
            MoveFileExA(emptiedDirectory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
                ? ERROR_SUCCESS
                : asFailure(GetLastError()));
}

// The quiet uninstall's rule for the dialog's directory, before anything is asked or
// removed: a folder without the product may hold the user's own Config.dat. Only the
// recorded one is known to have held it: its registration alone is then left to remove.
BOOL dialogDirectoryHoldsProduct() {
    installer.registrationOnly = 0;
    DWORD error = productImageError();
    logDirectory("program directory", installer.programDir, "the dialog", error);
    if (error == ERROR_SUCCESS)
        return TRUE;
    if (isRecordedDirectory()) {
        installer.registrationOnly = 1;
        return TRUE;
    }
    showFixedMessage(kTextUninstallDirectoryError);
    errorEnding();
    return FALSE;
}

} // namespace

void startUninstall() {
    installer.operation = kOperationUninstall;
    ShowWindow(installer.dialogWindow, SW_HIDE);
    readPathField();
    if (!dialogDirectoryHoldsProduct())
        return;
    installer.removeConfiguration = 0;
    // No file is removed, so there is nothing to ask about.
    if (installer.registrationOnly != 0) {
        runEngine();
        return;
    }
    const char* question = fixedText(kTextConfigurationQuestion);
    logMessage(question, TRUE);
    // No by default: Enter must not cost the user their filter lists.
    if (MessageBoxA(installer.dialogWindow, question, messageCaption, MB_YESNO | MB_DEFBUTTON2) ==
        IDYES) {
        installer.removeConfiguration = 1;
        // The directory was found to hold the product, so it is not empty.
        if (joinPath(configurationFile, kPathBuffer, installer.programDir, "Config.dat"))
            deleteOrSchedule(configurationFile);
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
    // Nothing in the directory is touched, and nothing is made there.
    if (installer.registrationOnly != 0) {
        logDirectoryNote("the product's files were already gone from", installer.programDir,
                         "; only its registration is removed");
        return TRUE;
    }
    // The directory held the product when it was checked, and was logged with its
    // origin then; it may still refuse to be entered.
    DWORD error = SetCurrentDirectoryA(installer.programDir) ? ERROR_SUCCESS : GetLastError();
    if (error != ERROR_SUCCESS) {
        logDirectory("program directory", installer.programDir,
                     installer.quietMode != 0 ? "the search above" : "the dialog",
                     asFailure(error));
        showFixedMessage(kTextUninstallDirectoryError);
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
    // natively); that alone leaves nothing of the product to complete, so it is counted
    // apart.
    DWORD productDeferred = installer.rebootNeeded;
    if (realSystemDirectory(systemCopy) &&
        joinPath(installer.tempFileName, kPathBuffer, systemCopy, "QM-Install.exe")) {
        installer.rebootNeeded = 0;
        deleteOrSchedule(installer.tempFileName);
        installer.ownFileDeferred = installer.rebootNeeded;
        installer.rebootNeeded = productDeferred;
    }
    if (askYesNo(kTextInUseMessage))
        showFixedMessage(kTextBrowserCacheInstructions);
    showFixedMessage(kTextCompleteMessage);
    endRun(completedExitCode(productDeferred));
}
