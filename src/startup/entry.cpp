// entry.cpp: process entry. Parses the switches and chooses silent install,
// interactive install or interactive uninstall. Never returns to its caller.
#include "engine/engine.h"
#include "fault/protectionFrame.h"
#include "resource.h"
#include "startup/commandLine.h"
#include "startup/state.h"
#include "startup/systemLibrary.h"
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
    ExitProcess(0);
}
} // namespace

extern "C" void __stdcall entryPoint() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, QMEntry);
    hardenDllSearch();
    parseCommandLine(GetCommandLineA());
    if (installer.uninstallMode != 0)
        installer.silentMode = 0;
    else if (installer.silentMode != 0)
        runSilentInstall();
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_OPTIONS), nullptr,
                    optionsDialogProc, 0);
    ExitProcess(0);
}
