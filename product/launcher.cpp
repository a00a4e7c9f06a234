// launcher.cpp: stand-in for the product's launcher. It shows the installer what the
// real one would: a main window, its library held in use, and the close protocol.
// Two logs beside it let tests see each start (time, command line) and each protocol
// message (tick count, name) as it arrived; a third, only when a test made it, gets
// the current directory of each start.
//
// Options of its own, for tests: /answer:104489 answers "KVMsgDestroy2" with 104489 and
// ignores the two close messages; /answer:none never answers and never closes.
#include <windows.h>

namespace {

const UINT kCloseMessage = 61239;
const LRESULT kRefusal = 104489;

enum Answer { kAnswerZero, kAnswerRefuse, kAnswerNone };

Answer answer;
UINT destroyMessage;
UINT destroy2Message;
char directory[2048]; // own directory, with its trailing backslash
char path[2048 + 32];
char line[40000]; // time + the longest command line Windows passes (32767)

// Copies `text` to `to`, stopping before `end`; returns the new end of the text.
char* append(char* to, const char* end, const char* text) {
    while (*text && to < end)
        *to++ = *text++;
    return to;
}

bool contains(const char* text, const char* part) {
    for (; *text; ++text) {
        const char* a = text;
        const char* b = part;
        while (*b && *a == *b)
            ++a, ++b;
        if (!*b)
            return true;
    }
    return false;
}

const char* besideMe(const char* name) {
    *append(append(path, path + sizeof path - 1, directory), path + sizeof path - 1, name) = 0;
    return path;
}

// Ends `line` at `end` with CR LF and appends it to the log `name` in one write, so
// that starts at the same moment each get whole lines. `disposition` OPEN_EXISTING
// writes only into a log that is already there.
void appendLog(const char* name, char* end, DWORD disposition = OPEN_ALWAYS) {
    *end++ = '\r';
    *end++ = '\n';
    HANDLE file = CreateFileA(besideMe(name), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line, DWORD(end - line), &written, nullptr);
        CloseHandle(file);
    }
}

void logMessage(const char* name) {
    char* end = line + wsprintfA(line, "%lu ", GetTickCount());
    appendLog("Quellmark.messages.log", append(end, line + 64, name));
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCloseMessage || message == destroyMessage) {
        logMessage(message == kCloseMessage ? "61239" : "KVMsgDestroy");
        if (answer == kAnswerZero) {
            DestroyWindow(window);
            PostQuitMessage(0);
            ExitProcess(0);
        }
        return 0;
    }
    if (message == destroy2Message) {
        logMessage("KVMsgDestroy2");
        // The installer's SendMessageA waits for this answer: never giving it is the
        // hung product that tests need.
        while (answer == kAnswerNone)
            Sleep(1000);
        return answer == kAnswerRefuse ? kRefusal : 0;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

extern "C" void __stdcall launcherEntry() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    DWORD length = GetModuleFileNameA(nullptr, directory, sizeof directory);
    if (length == 0 || length >= sizeof directory)
        ExitProcess(1);
    while (length > 0 && directory[length - 1] != '\\')
        --length;
    directory[length] = 0;

    const char* commandLine = GetCommandLineA();
    if (contains(commandLine, "/answer:104489"))
        answer = kAnswerRefuse;
    else if (contains(commandLine, "/answer:none"))
        answer = kAnswerNone;

    destroyMessage = RegisterWindowMessageA("KVMsgDestroy");
    destroy2Message = RegisterWindowMessageA("KVMsgDestroy2");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "QuellmarkMain";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "QuellmarkMain", "Quellmark", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, 240, 120, nullptr, nullptr, instance, nullptr);
    LoadLibraryA(besideMe("Quellmark.dll"));

    // The directory it was started in, only for a test that made this log: other tests
    // expect nothing else beside the product.
    DWORD directoryLength = GetCurrentDirectoryA(sizeof line - 2, line);
    if (directoryLength != 0 && directoryLength < sizeof line - 2)
        appendLog("Quellmark.directory.log", line + directoryLength, OPEN_EXISTING);

    // Logged last, so a test that sees the line also finds the window and the library.
    SYSTEMTIME now;
    GetLocalTime(&now);
    char* end = line + wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                                 now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    appendLog("Quellmark.log", append(end, line + sizeof line - 2, commandLine));

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess(0);
}
