// resource.h: resource ids. Dialog and control ids are fixed by the dialog templates.
#pragma once

// Dialogs.
#define IDD_OPTIONS 1
#define IDD_AGREEMENT 9

// Options dialog controls. IDOK (1) is Install, IDCANCEL (2) is Exit.
#define IDC_OPTIONS_GROUP 110
#define IDC_PATH 111
#define IDC_BROWSE 115
#define IDC_PROGRAM_GROUP 116
#define IDC_ALL_USERS 117
#define IDC_AUTOSTART 118
#define IDC_UNINSTALL 120
#define IDC_PATH_LABEL 121

// Agreement dialog controls. IDYES (6) agrees, IDNO (7) refuses.
#define IDC_AGREEMENT_TEXT 113
#define IDC_AGREEMENT_GROUP 114

// Icon groups: index 0 is group 1, index 1 (the uninstall shortcut's) is group 2.
#define IDI_INSTALLER 1
#define IDI_DIALOG 2

// Product images.
#define IDR_LIBRARY_IMAGE 101
#define IDR_LAUNCHER_IMAGE 102
