// entry.cpp: process entry. Parses the switches and chooses silent install,
// interactive install or interactive uninstall, or, with /q, their quiet forms.
// Never returns to its caller.
#include "base/installLog.h"
#include "base/state.h"
#include "base/systemLibrary.h"
#include "engine/engine.h"
#include "fault/protectionFrame.h"
#include "resource.h"
#include "startup/commandLine.h"
#include "ui/ui.h"

namespace {
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
    if (installer.uninstallMode == 0 && installer.quietMode != 0 && installer.silentMode == 0) {
        // /q alone: a quiet install where the options dialog would propose.
        proposeDefaultDirectory();
        installer.defaultDirectory = 1;
        installer.silentMode = 1;
    }
    logRunStart(commandLine);
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
