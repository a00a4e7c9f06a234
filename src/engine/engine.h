// engine.h: the install and uninstall sequences and the steps they share.
#pragma once

#include <windows.h>

#include "resource.h"

// The three options: dialog check boxes in interactive mode, switches in silent mode.
// Each is numbered as its box.
enum class Option {
    ProgramGroup = IDC_PROGRAM_GROUP,
    Autostart = IDC_AUTOSTART,
    AllUsers = IDC_ALL_USERS
};
BOOL optionOn(Option option);

// Engine entry for the operation in InstallerState::operation. Returns only in
// dialog mode after an error, with the options dialog shown again.
void runEngine();

// The one way an engine error ends: silent mode exits 1, dialog mode re-shows the dialog.
void errorEnding();

// The caption of the installer's message boxes.
extern const char messageCaption[];
// Message boxes with the installer's caption and no owner window.
void showMessage(const char* text);
// The packed fixed texts, by their kText... offsets.
void showFixedMessage(DWORD text);
BOOL askYesNo(DWORD text);

// Install steps 1 to 6; FALSE when a step failed (the error ending has been taken).
BOOL runInstallSteps();

// Shared tail.
void removeRunValues();
void setAutostart();
void copyDataFiles();
void setBrowserOptions();
void completeInstall();

// Program group and uninstall registration.
// The uninstall entry, under HKEY_LOCAL_MACHINE.
extern const char uninstallEntryKey[];
void removeOldProgramGroups();
BOOL createProgramGroup();
// Without the group: an entry an earlier install left is made to describe this one
// (its version, place and uninstaller copy); none is made where there was none.
void updateUninstallEntry();

// Uninstall.
void startUninstall();
// /q /die: the uninstall without the dialog, keeping the configuration.
void startQuietUninstall();
BOOL runUninstallSteps();
void uninstallEnding();
