// runEngine.cpp: the engine entry, the error ending and the order of the shared tail.
#include "base/installLog.h"
#include "base/state.h"
#include "engine/engine.h"
#include "resource.h"
#include "ui/ui.h"

const char messageCaption[] = "Quellmark Installer";

BOOL optionOn(Option option) {
    if (installer.silentMode != 0) {
        switch (option) {
        case Option::ProgramGroup:
            return installer.noProgramGroup == 0;
        case Option::Autostart:
            return installer.noAutostart == 0;
        case Option::AllUsers:
            return installer.currentUserOnly == 0;
        }
        return FALSE;
    }
    return IsDlgButtonChecked(installer.dialogWindow, static_cast<int>(option)) == BST_CHECKED;
}

// Quiet mode goes on as if OK had been pressed.
void showMessage(const char* text) {
    logMessage(text, installer.quietMode == 0);
    if (installer.quietMode == 0)
        MessageBoxA(nullptr, text, messageCaption, MB_OK);
}

void showFixedMessage(DWORD text) {
    showMessage(fixedText(text));
}

// Quiet mode answers No: nobody is there to read what Yes would bring up.
BOOL askYesNo(DWORD fixed) {
    const char* text = fixedText(fixed);
    logMessage(text, installer.quietMode == 0);
    return installer.quietMode == 0 &&
           MessageBoxA(nullptr, text, messageCaption, MB_YESNO) == IDYES;
}

void errorEnding() {
    // A deployment script must be able to see that a silent install failed.
    if (installer.silentMode != 0 || installer.quietMode != 0)
        endRun(kExitFailed);
    ShowWindow(installer.dialogWindow, SW_SHOWNORMAL);
}

void runEngine() {
    if (installer.operation == kOperationInstall) {
        if (!runInstallSteps())
            return;
    } else if (!runUninstallSteps()) {
        return;
    }
    removeRunValues();
    if (installer.operation == kOperationInstall) {
        setAutostart();
        copyDataFiles();
    }
    removeOldProgramGroups();
    if (installer.operation != kOperationInstall) {
        uninstallEnding();
        return;
    }
    if (!optionOn(Option::ProgramGroup))
        updateUninstallEntry();
    else if (!createProgramGroup())
        return;
    setBrowserOptions();
    completeInstall();
}
