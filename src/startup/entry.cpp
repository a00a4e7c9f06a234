// entry.cpp: process entry. Parses the switches and chooses silent install,
// interactive install or interactive uninstall, or, with /q, their quiet forms.
// Never returns to its caller.
#include "agreementPacked.h"
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
constexpr char kLogUnwritable[] = "The log file cannot be written:\r\n";
constexpr char kNothingInstalled[] = "no uninstall entry, and neither Quellmark.exe nor "
                                     "Quellmark.dll in a recorded or the default directory";

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
    if (installer.quietMode == 0 && installer.stationHidden == 0 &&
        textCopy(installer.scratch, kScratchBuffer, kLogUnwritable) &&
        textAppend(installer.scratch, kScratchBuffer, installer.logFile))
        MessageBoxA(nullptr, installer.scratch, messageCaption, MB_OK);
    ExitProcess(kExitLogUnwritable);
}

using GetProcessWindowStationProc = HWINSTA(WINAPI*)();
using GetUserObjectInformationProc = BOOL(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);

// A service's window station, where deployment tools run installs, is not visible: a
// window there waits for ever. Looked up by name: the 95 family has no window stations.
BOOL windowStationIsHidden() {
    // Imported already, so loaded.
    auto station = reinterpret_cast<GetProcessWindowStationProc>(
        loadedProcedure("user32.dll", "GetProcessWindowStation"));
    auto information = reinterpret_cast<GetUserObjectInformationProc>(
        loadedProcedure("user32.dll", "GetUserObjectInformationA"));
    USEROBJECTFLAGS flags;
    DWORD length;
    HWINSTA handle = station != nullptr && information != nullptr ? station() : nullptr;
    return handle != nullptr && information(handle, UOI_FLAGS, &flags, sizeof flags, &length) &&
           (flags.dwFlags & WSF_VISIBLE) == 0;
}

// Nobody can see this station: a run that needs the dialog ends, and one that would
// only show messages goes on as with /q.
void leaveOutEveryWindow() {
    if (installer.helpAsked == 0 && (installer.uninstallMode != 0 || installer.silentMode == 0)) {
        logEvent("options dialog not opened:",
                 "nobody can answer it on this window station; /q is the switch for an "
                 "unattended run",
                 nullptr, ERROR_INVALID_COMMAND_LINE);
        endRun(kExitBadCommandLine);
    }
    logEvent(
        "messages left out:", "nobody can see them on this window station; exit codes as with /q",
        nullptr, kNoResult);
    installer.quietMode = 1;
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
// must hold the product before anything is asked to close or removed. The recorded
// directory without it still has the registration to remove; a machine where nothing
// is recorded or found is told apart from a failure.
[[noreturn]] __attribute__((noinline)) void runQuietUninstall() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, QMSilent);
    detectPlatform();
    if (findInstalledDirectory()) {
        if (!closeProductQuietly())
            endRun(kExitFailed);
    } else if (isRecordedDirectory()) {
        installer.registrationOnly = 1;
    } else if (nothingInstalled()) {
        logEvent("nothing to uninstall:", kNothingInstalled, nullptr, kNoResult);
        endRun(kExitUnknownProduct);
    } else {
        endRun(kExitFailed);
    }
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
    installer.stationHidden = windowStationIsHidden();
    if (!logOpensForAppending())
        endForUnwritableLog();
    if (installer.uninstallMode == 0 && installer.quietMode != 0 && installer.silentMode == 0) {
        // /q alone: a quiet install where the machine recorded the last one.
        proposeRecordedDirectory();
        installer.defaultDirectory = 1;
        installer.silentMode = 1;
    }
    logRunStart(commandLine);
    // A typo must not turn an unattended run into something else, nor pass as success.
    if (installer.quietMode != 0 && installer.unknownArgument != 0) {
        logUnknownArgument(commandLine);
        endRun(kExitBadCommandLine);
    }
    logSkippedArguments(commandLine);
    if (installer.stationHidden != 0 && installer.quietMode == 0)
        leaveOutEveryWindow();
    if (installer.helpAsked != 0) {
        showFixedMessage(kTextSummary);
        // Only a hidden station's run gets here quiet: nothing was done that it asked for.
        endRun(installer.quietMode != 0 ? kExitBadCommandLine : kExitDone);
    }
    if (anotherRunIsUnderWay()) {
        showFixedMessage(kTextAnotherRun);
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
