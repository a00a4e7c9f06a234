// gui.h: driving the installer's windows from the test process, as a user would.
// Every wait is bounded; messages to another process go with a time-out.
#pragma once

#include "qmtest.h"

#include <optional>
#include <string>

namespace qmtest::gui {

constexpr const char* kDialogClass = "#32770";
constexpr DWORD kWindowTimeoutMs = 60000;

// A visible or hidden top-level window of `className` and exact `title`; any
// process when `processId` is 0.
HWND findWindow(const std::string& className, const std::string& title, DWORD processId = 0);
// Polls for that window; nullptr when it did not come within `timeoutMs`.
HWND waitForWindow(const std::string& className, const std::string& title, DWORD processId = 0,
                   DWORD timeoutMs = kWindowTimeoutMs);
// Polls until the window is visible (a dialog is shown after its initialisation).
bool waitVisible(HWND window, DWORD timeoutMs = kWindowTimeoutMs);

std::string windowText(HWND window);
std::string controlText(HWND dialog, int id);
void setControlText(HWND dialog, int id, const std::string& text);
bool isChecked(HWND dialog, int id);
bool isEnabled(HWND dialog, int id);
bool isVisible(HWND dialog, int id);
LONG controlStyle(HWND dialog, int id);

// Clicks a button by posting BM_CLICK, so a modal loop that it starts cannot block the test.
void pressButton(HWND dialog, int id);

// The window that has the keyboard focus in `window`'s thread; nullptr when none.
HWND focusOf(HWND window);
// Posts a key's press and release to `window`, where the keyboard would send them
// when it has the focus; the receiving thread's dialog loop sees them as typed.
void pressKey(HWND window, UINT key);
// A message to another process's window, answered within a bound; 0 when not.
LRESULT sendBounded(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// A message box (a dialog of class #32770 with `caption`) of `processId`.
struct ShownMessage {
    HWND window = nullptr;
    std::string text;
    explicit operator bool() const {
        return window != nullptr;
    }
};
// Waits for a message box; its text is the static control's text.
ShownMessage waitForMessageBox(const std::string& caption, DWORD processId,
                               DWORD timeoutMs = kWindowTimeoutMs);
// Presses `button` (IDOK, IDCANCEL, IDYES, IDNO) of a message box; true when it went away.
bool answerMessageBox(const ShownMessage& box, int button, DWORD timeoutMs = 10000);
// Waits for the next message box of `processId`, expects its text to begin with
// `startOfText`, and presses `button`; a fatal failure when none comes.
void answerNextMessageBox(const std::string& caption, DWORD processId,
                          const std::string& startOfText, int button);

// The installer's options dialog, once it is shown; nullptr when it did not come.
HWND optionsDialog(const Process& installer, DWORD timeoutMs = kWindowTimeoutMs);
// The directory the options dialog of a run with `arguments` proposes; the run is
// then left with Exit, and must end with 0.
std::string proposedDirectory(const std::string& arguments);

// Saves the window as C:\qmtest\screenshots\<name>.bmp (the run converts it to PNG).
bool saveScreenshot(HWND window, const std::string& name);

} // namespace qmtest::gui
