// optionsDialog.cpp: the options dialog.
#include "ui/ui.h"

INT_PTR CALLBACK optionsDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
void centerDialog(HWND) {}
