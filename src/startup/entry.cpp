// entry.cpp: process entry. Parses the switches and chooses silent install,
// interactive install or interactive uninstall, or, with /q, their quiet forms.
// Never returns to its caller.
#include "base/installLog.h"
#include "base/state.h"
#include "base/systemLibrary.h"
#include "base/text.h"
#include "engine/engine.h"
#include "fault/protectionFrame.h"
#include "resource.h"
#include "startup/commandLine.h"
#include "ui/ui.h"

namespace {
constexpr char kAnotherRun[] =
    "Another Quellmark installer is running. Please wait until it has finished, then try again.";
constexpr char kLogUnwritable[] = "The log file cannot be written:\r\n";
// Short lines, no tabs: the box is narrow and its proportional font cannot line up columns.
constexpr char kSummary[] = "Usage: QM-Install.exe [switches]\r\n"
                            "\r\n"
                            "/p:<directory> - silent install there\r\n"
                            "/q - quiet: nothing is shown\r\n"
                            "/die or /fdie - uninstall\r\n"
                            "/l:<file> - append a log of the run\r\n"
                            "/i:<file> - import that settings file\r\n"
                            "/s - no start-menu group or uninstall entry\r\n"
                            "/m - do not start Quellmark with Windows\r\n"
                            "/c - current user only\r\n"
                            "/r - store the DCC marker\r\n"
                            "\r\n"
                            "Nothing after /die is read: put /q, /p: and /l: before it. A path "
                            "ends before a blank followed by a switch, even inside quotes. Exit "
                            "codes: 0, 3010, 1, 1618, 1622.";

// One run at a time, across sessions where the system has a Global namespace; the 95
// family and NT 4 without Terminal Services refuse the prefix and take the plain name.
constexpr char kRunMutex[] = "Global\\QuellmarkInstaller";
constexpr DWORD kGlobalPrefixLength = sizeof "Global\\" - 1;

// The handle stays open to the process's end: the mutex is held for the whole run.
BOOL anotherRunIsUnderWay() {
    // Not every system clears the last error when it makes a new mutex.
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kRunMutex);
    DWORD error = GetLastError();
    if (mutex == nullptr && error != ERROR_ACCESS_DENIED) {
        SetLastError(ERROR_SUCCESS);
        mutex = CreateMutexA(nullptr, FALSE, kRunMutex + kGlobalPrefixLength);
        error = GetLastError();
    }
    // Access denied: another account's run made it.
    return error == ERROR_ALREADY_EXISTS || (mutex == nullptr && error == ERROR_ACCESS_DENIED);
}

// Nothing can be logged, so nothing is, and the run ends before any change.
[[noreturn]] void endForUnwritableLog() {
    if (installer.quietMode == 0 && textCopy(installer.scratch, kScratchBuffer, kLogUnwritable) &&
        textAppend(installer.scratch, kScratchBuffer, installer.logFile))
        MessageBoxA(nullptr, installer.scratch, messageCaption, MB_OK);
    ExitProcess(kExitLogUnwritable);
}

// Kept out of line so the silent frame is a frame of its own on the stack.
[[noreturn]] __attribute__((noinline)) void runSilentInstall() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, QMSilent);
    installer.operation = kOperationInstall;
    // Silent mode needs the platform as much as the dialog does: without it a
    // file in use would be flagged for a restart yet scheduled nowhere.
    detectPlatform();
    runEngine();
    endRun(kExitDone);
}

// /q /die: the uninstall dialog's work without the dialog, in a directory that
// must hold the product before anything is asked to close or removed.
[[noreturn]] __attribute__((noinline)) void runQuietUninstall() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, QMSilent);
    detectPlatform();
    if (!findInstalledDirectory() || !closeProductQuietly())
        endRun(kExitFailed);
    installer.silentMode = 0;
    startQuietUninstall();
    endRun(kExitFailed);
}
} // namespace

extern "C" void __stdcall entryPoint() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, QMEntry);
    hardenDllSearch();
    const char* commandLine = GetCommandLineA();
    parseCommandLine(commandLine);
    if (!logOpensForAppending())
        endForUnwritableLog();
    if (installer.uninstallMode == 0 && installer.quietMode != 0 && installer.silentMode == 0) {
        // /q alone: a quiet install where the machine recorded the last one.
        proposeRecordedDirectory();
        installer.defaultDirectory = 1;
        installer.silentMode = 1;
    }
    logRunStart(commandLine);
    // A mistyped switch must not turn an unattended run into something else.
    if (installer.quietMode != 0 && installer.badSwitch[0] != 0) {
        logEvent("unknown switch", installer.badSwitch, nullptr, ERROR_INVALID_PARAMETER);
        endRun(kExitFailed);
    }
    if (installer.helpAsked != 0) {
        showMessage(kSummary);
        endRun(kExitDone);
    }
    if (anotherRunIsUnderWay()) {
        showMessage(kAnotherRun);
        endRun(kExitAnotherRun);
    }
    if (installer.uninstallMode != 0) {
        if (installer.quietMode != 0)
            runQuietUninstall();
        installer.silentMode = 0;
    } else if (installer.silentMode != 0) {
        runSilentInstall();
    }
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), nullptr,
                    optionsDialogProc, 0);
    endRun(kExitDone);
}
