// agreementDialog.cpp: the agreement dialog; it returns only when the user agrees.
#include "agreementPacked.h"
#include "base/installLog.h"
#include "base/state.h"
#include "engine/engine.h"
#include "fault/protectionFrame.h"
#include "resource.h"
#include "ui/ui.h"

namespace {

[[noreturn]] void refuse(HWND dialog) {
    const char* refusal = fixedText(kTextAgreementRefusal);
    logMessage(refusal, TRUE);
    MessageBoxA(dialog, refusal, messageCaption, MB_OK);
    endRun(kExitDone);
}

} // namespace

// Escape reaches here as command 2 with no control behind it, and is ignored.
INT_PTR CALLBACK agreementDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, AgreementDlg);
    INT_PTR result = FALSE;
    if (message == WM_INITDIALOG) {
        centerDialog(window);
        setDialogIcon(window);
        SetDlgItemTextA(window, IDC_AGREEMENT_TEXT, unpackAgreementText());
        // The text takes the keys that scroll it. FALSE keeps this focus: the dialog
        // manager's own would select the whole text.
        SetFocus(GetDlgItem(window, IDC_AGREEMENT_TEXT));
    } else if (message == WM_COMMAND) {
        if (lParam != 0 && HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDYES)
                EndDialog(window, 0);
            else if (LOWORD(wParam) == IDNO)
                refuse(window);
        }
        result = TRUE;
    } else if (message == WM_CLOSE) {
        refuse(window);
    }
    CLOSE_PROTECTION_FRAME(frame);
    return result;
}
