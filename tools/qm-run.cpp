// qm-run.cpp: runs the command line held in the environment variable QM_COMMAND exactly
// as written, from the current directory, waits for it, prints its exit code and exits
// with it.
// `wine` re-quotes every argument that holds a blank or a double quote, so a command
// line in the installer's own syntax cannot pass through it unchanged.
//
// With QM_PRESS_OK set (a display nobody sees), each OK-only message box the program
// shows is printed and answered with OK, so that an error ends the run instead of
// waiting for ever.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct BoxSearch {
    DWORD processId;
    HWND box;
};

// A message box: a dialog with the message text control (0xFFFF) and an OK button, and
// no edit field, which tells it from the options dialog.
BOOL CALLBACK findOkBox(HWND window, LPARAM parameter) {
    auto search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD owner = 0;
    char className[16];
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) &&
        GetClassNameA(window, className, sizeof className) && strcmp(className, "#32770") == 0 &&
        GetDlgItem(window, 0xFFFF) && GetDlgItem(window, IDOK) &&
        !FindWindowExA(window, nullptr, "Edit", nullptr)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

void pressOk(DWORD processId) {
    BoxSearch search{processId, nullptr};
    EnumWindows(findOkBox, reinterpret_cast<LPARAM>(&search));
    if (!search.box)
        return;
    char caption[256] = "", text[4096] = "";
    GetWindowTextA(search.box, caption, sizeof caption);
    GetDlgItemTextA(search.box, 0xFFFF, text, sizeof text);
    printf("message box \"%s\" (answered OK): %s\n", caption, text);
    fflush(stdout);
    PostMessageA(search.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 LPARAM(GetDlgItem(search.box, IDOK)));
    Sleep(1000);
}

} // namespace

int main() {
    static char line[32768];
    DWORD length = GetEnvironmentVariableA("QM_COMMAND", line, sizeof line);
    if (length == 0 || length >= sizeof line) {
        fprintf(stderr, "qm-run: QM_COMMAND is empty or too long\n");
        return 255;
    }
    bool answer = getenv("QM_PRESS_OK") != nullptr;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        fprintf(stderr, "qm-run: cannot start %s: error %lu\n", line, GetLastError());
        return 255;
    }
    while (WaitForSingleObject(info.hProcess, 250) == WAIT_TIMEOUT)
        if (answer)
            pressOk(info.dwProcessId);
    DWORD code = 255;
    GetExitCodeProcess(info.hProcess, &code);
    // The Unix side sees only the low 8 bits (3010 as 194): the full code is printed here.
    printf("installer exit code: %lu\n", code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return int(code);
}
