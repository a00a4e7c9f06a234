// messageBox.cpp: message boxes of the process under test, through real window calls.
#include "messageBox.h"

#include "qmtest.h"

namespace qmtest {

namespace {

constexpr int kMessageTextId = 0xFFFF;

struct Search {
    DWORD processId;
    const std::string* caption;
    HWND found;
};

std::string className(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

// Read from the window manager's copy of the text: no message goes to a process that
// may be busy or hung.
std::string windowText(HWND window) {
    char text[4096];
    int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

BOOL CALLBACK describeWindow(HWND window, LPARAM parameter) {
    auto list = reinterpret_cast<std::pair<DWORD, std::string>*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == list->first)
        list->second += " [" + className(window) + " \"" + windowText(window) + "\"" +
                        (IsWindowVisible(window) ? " visible]" : " hidden]");
    return TRUE;
}

BOOL CALLBACK matchBox(HWND window, LPARAM parameter) {
    auto search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || className(window) != "#32770" ||
        windowText(window) != *search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND waitForMessageBox(DWORD processId, const std::string& caption, DWORD timeoutMs) {
    Search search{processId, &caption, nullptr};
    waitFor(
        [&] {
            EnumWindows(matchBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

std::string messageBoxText(HWND box) {
    // The box can be found a moment before its text is set.
    std::string text;
    waitFor(
        [&] {
            HWND control = GetDlgItem(box, kMessageTextId);
            text = control != nullptr ? windowText(control) : std::string();
            return !text.empty();
        },
        10000);
    return text;
}

std::string describeWindows(DWORD processId) {
    std::pair<DWORD, std::string> list{processId, {}};
    EnumWindows(describeWindow, reinterpret_cast<LPARAM>(&list));
    return list.second.empty() ? " (none)" : list.second;
}

void pressButton(HWND box, int buttonId) {
    HWND button = GetDlgItem(box, buttonId);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

} // namespace qmtest
