// agreementDialog.cpp: the agreement dialog.
#include "ui/ui.h"

INT_PTR CALLBACK agreementDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
const char agreementText[] = "";
