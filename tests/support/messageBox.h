// messageBox.h: finding, reading and answering another process's message box.
#pragma once

#include <windows.h>

#include <string>

namespace qmtest {

// The visible top-level dialog (class "#32770") titled `caption` that belongs to
// process `processId`; null when none appears within `timeoutMs`.
HWND waitForMessageBox(DWORD processId, const std::string& caption, DWORD timeoutMs = 20000);

// The box's message text (its static control, id 0xFFFF).
std::string messageBoxText(HWND box);

// The process's top-level windows with class, title and visibility, for failure messages.
std::string describeWindows(DWORD processId);

// Presses the button `buttonId` (IDOK, IDYES, ...) as a click would.
void pressButton(HWND box, int buttonId);

} // namespace qmtest
