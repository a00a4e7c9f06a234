// gui.cpp: window finding, control reading and button pressing across processes.
#include "gui.h"
#include "facts.h"

#include <gtest/gtest.h>

#include <vector>

namespace qmtest::gui {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct Search {
    const std::string* className;
    const std::string* title;
    DWORD processId;
    HWND found;
};

std::string classOf(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
    auto search = reinterpret_cast<Search*>(parameter);
    if (search->processId != 0) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search->processId)
            return TRUE;
    }
    if (classOf(window) != *search->className || windowText(window) != *search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

LRESULT sendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

namespace {

BOOL CALLBACK collectStatics(HWND child, LPARAM parameter) {
    if (lstrcmpiA(classOf(child).c_str(), "Static") == 0)
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
    return TRUE;
}

} // namespace

HWND findWindow(const std::string& className, const std::string& title, DWORD processId) {
    Search search{&className, &title, processId, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const std::string& className, const std::string& title, DWORD processId,
                   DWORD timeoutMs) {
    HWND found = nullptr;
    waitFor([&] { return (found = findWindow(className, title, processId)) != nullptr; },
            timeoutMs);
    return found;
}

bool waitVisible(HWND window, DWORD timeoutMs) {
    return waitFor([&] { return IsWindowVisible(window) != FALSE; }, timeoutMs);
}

std::string windowText(HWND window) {
    LRESULT length = sendBounded(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) {
        // A window whose thread is busy still has its caption with the system.
        char caption[512];
        int got = GetWindowTextA(window, caption, sizeof caption);
        return std::string(caption, got > 0 ? got : 0);
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = sendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string controlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? windowText(control) : std::string();
}

void setControlText(HWND dialog, int id, const std::string& text) {
    sendBounded(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool isChecked(HWND dialog, int id) {
    return sendBounded(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool isEnabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

bool isVisible(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowVisible(control);
}

LONG controlStyle(HWND dialog, int id) {
    return GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE);
}

void pressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    PostMessageA(button, BM_CLICK, 0, 0);
}

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void pressKey(HWND window, UINT key) {
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(window, WM_KEYDOWN, key, scan | 1);
    PostMessageA(window, WM_KEYUP, key, scan | 0xC0000001);
}

ShownMessage waitForMessageBox(const std::string& caption, DWORD processId, DWORD timeoutMs) {
    ShownMessage box;
    box.window = waitForWindow(kDialogClass, caption, processId, timeoutMs);
    if (box.window == nullptr)
        return box;
    // The message's static control; the icon is a static without text.
    std::vector<HWND> statics;
    EnumChildWindows(box.window, collectStatics, reinterpret_cast<LPARAM>(&statics));
    for (HWND control : statics) {
        std::string text = windowText(control);
        if (text.size() > box.text.size())
            box.text = text;
    }
    return box;
}

bool answerMessageBox(const ShownMessage& box, int button, DWORD timeoutMs) {
    pressButton(box.window, button);
    return waitFor([&] { return !IsWindow(box.window); }, timeoutMs);
}

void answerNextMessageBox(const std::string& caption, DWORD processId,
                          const std::string& startOfText, int button) {
    ShownMessage box = waitForMessageBox(caption, processId);
    ASSERT_TRUE(box) << "no message box, expected: " << startOfText;
    EXPECT_EQ(box.text.rfind(startOfText, 0), 0u) << box.text;
    EXPECT_TRUE(answerMessageBox(box, button)) << box.text;
}

bool saveScreenshot(HWND window, const std::string& name) {
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(500);
    RECT frame;
    if (!GetWindowRect(window, &frame))
        return false;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
        GdiFlush();
        SelectObject(memory, old);
        DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
        DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        std::string data(reinterpret_cast<const char*>(&file), sizeof file);
        data.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        data.append(static_cast<const char*>(bits), imageSize);
        CreateDirectoryA(joinPath(kStage, "screenshots").c_str(), nullptr);
        writeFile(joinPath(joinPath(kStage, "screenshots"), name + ".bmp"), data);
        saved = true;
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

HWND optionsDialog(const Process& installer, DWORD timeoutMs) {
    HWND dialog = waitForWindow(kDialogClass, kTitle, installer.id(), timeoutMs);
    if (dialog == nullptr || !waitVisible(dialog, timeoutMs))
        return nullptr;
    return dialog;
}

std::string proposedDirectory(const std::string& arguments) {
    Process installer = startInstaller(arguments);
    HWND dialog = optionsDialog(installer);
    if (dialog == nullptr)
        return "<no dialog>";
    std::string path = controlText(dialog, kPathEdit);
    pressButton(dialog, kExitButton);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(0));
    return path;
}

} // namespace qmtest::gui
