// runEngine.cpp: the engine entry, the error ending and the order of the shared tail.
#include "engine/engine.h"
#include "resource.h"
#include "startup/state.h"

namespace {
constexpr char kCaption[] = "Quellmark Installer";
}

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
    int box = option == Option::ProgramGroup ? IDC_PROGRAM_GROUP
              : option == Option::Autostart  ? IDC_AUTOSTART
                                             : IDC_ALL_USERS;
    return IsDlgButtonChecked(installer.dialogWindow, box) == BST_CHECKED;
}

void showMessage(const char* text) {
    MessageBoxA(nullptr, text, kCaption, MB_OK);
}

BOOL askYesNo(const char* text) {
    return MessageBoxA(nullptr, text, kCaption, MB_YESNO) == IDYES;
}

void errorEnding() {
    // A deployment script must be able to see that a silent install failed.
    if (installer.silentMode != 0)
        ExitProcess(1);
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
    if (optionOn(Option::ProgramGroup) && !createProgramGroup())
        return;
    setBrowserOptions();
    completeInstall();
}
