// startAsDesktopUser.cpp: what the installer starts runs with the rights of the
// desktop's user. The installer runs elevated, and a program it starts itself would
// inherit the administrator's token, or another account's where other credentials were
// typed at the elevation prompt. The desktop shell runs with the user's own token, so
// it is asked to start the program: ShellWindows -> the desktop's browser -> its view
// -> the view's automation object -> Shell.Application -> ShellExecute.
#include "base/installLog.h"
#include "base/state.h"
#include "base/systemLibrary.h"
#include "base/text.h"
#include "launch/startAsDesktopUser.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shobjidl.h>

#include <stddef.h>

namespace {
// Our own copies: uuid.lib is not linked into a freestanding image.
constexpr GUID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
constexpr GUID kIidShellWindows = {
    0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr GUID kIidServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
constexpr GUID kSidTopLevelBrowser = {
    0x4C96BE40, 0x915C, 0x11CF, {0x99, 0xD3, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37}};
constexpr GUID kIidShellBrowser = {
    0x000214E2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidShellFolderViewDual = {
    0xE7A1AF80, 0x4D96, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
constexpr GUID kIidShellDispatch2 = {
    0xA4C6892C, 0x3BA9, 0x11D2, {0x9D, 0xEA, 0x00, 0xC0, 0x4F, 0xB1, 0x61, 0x62}};

// GetCurrentProcess() always gives this pseudo handle; it needs no import.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(-1);

using OpenProcessTokenProc = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using GetTokenInformationProc = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD,
                                              DWORD*);

// A BSTR made without OLEAUT32: its byte count stands right before its text. Ours are
// only ever passed in, so no one frees them.
struct WideText {
    DWORD bytes;
    WCHAR text[kPathBuffer];
};
static_assert(offsetof(WideText, text) == sizeof(DWORD), "a BSTR's count precedes its text");

WideText wideFile;
WideText wideArguments;
WideText wideDirectory;
constexpr struct {
    DWORD bytes;
    WCHAR text[5];
} kOpenVerb = {8, {'o', 'p', 'e', 'n', 0}};

char commandLine[kScratchBuffer];

// `text` as a BSTR in `wide`; null when it does not convert whole.
BSTR toWide(WideText& wide, const char* text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide.text, kPathBuffer);
    if (units == 0)
        return nullptr;
    wide.bytes = (units - 1) * sizeof(WCHAR);
    return wide.text;
}

VARIANT textVariant(BSTR text) {
    VARIANT variant = {};
    if (text != nullptr) {
        variant.vt = VT_BSTR;
        variant.bstrVal = text;
    }
    return variant;
}

void release(IUnknown* object) {
    if (object != nullptr)
        object->Release();
}

// This process's token information of class `what` into `buffer`. Looked up by name:
// the 95 family knows no tokens, and there it is FALSE.
BOOL queryOwnToken(TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size) {
    auto openToken =
        reinterpret_cast<OpenProcessTokenProc>(loadedProcedure("advapi32.dll", "OpenProcessToken"));
    auto tokenInformation = reinterpret_cast<GetTokenInformationProc>(
        loadedProcedure("advapi32.dll", "GetTokenInformation"));
    HANDLE token;
    if (openToken == nullptr || tokenInformation == nullptr ||
        !openToken(kCurrentProcess, TOKEN_QUERY, &token))
        return FALSE;
    DWORD length;
    BOOL read = tokenInformation(token, what, buffer, size, &length);
    CloseHandle(token);
    return read;
}

// The split token's elevated half: only there does the user have a token of lesser
// rights that the shell runs with.
BOOL elevatedWithLinkedToken() {
    TOKEN_ELEVATION_TYPE type;
    return queryOwnToken(TokenElevationType, &type, sizeof type) && type == TokenElevationTypeFull;
}

// A token's user as GetTokenInformation(TokenUser) returns it: the SID follows the header.
struct TokenUserRecord {
    TOKEN_USER header;
    BYTE sid[SECURITY_MAX_SID_SIZE];
};

// S_OK only when the desktop shell started the program; a missing file gives S_FALSE.
HRESULT shellExecuteOnDesktop(const char* file, const char* arguments, const char* directory,
                              UINT show) {
    IShellWindows* windows = nullptr;
    IDispatch* desktop = nullptr;
    IServiceProvider* provider = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    IDispatch* background = nullptr;
    IShellFolderViewDual* folderView = nullptr;
    IDispatch* application = nullptr;
    IShellDispatch2* shell = nullptr;
    VARIANT location = {};
    location.vt = VT_I4; // lVal 0: CSIDL_DESKTOP
    VARIANT root = {};
    LONG window = 0;
    BSTR wide = toWide(wideFile, file);
    BSTR wideArgs = toWide(wideArguments, arguments);
    BSTR wideDir = directory != nullptr ? toWide(wideDirectory, directory) : nullptr;
    VARIANT argumentsVariant = textVariant(wideArgs);
    VARIANT directoryVariant = textVariant(wideDir);
    VARIANT verb = textVariant(const_cast<BSTR>(kOpenVerb.text));
    VARIANT showVariant = {};
    showVariant.vt = VT_I4;
    showVariant.lVal = show;

    HRESULT result = E_INVALIDARG;
    // Out of process: the desktop's explorer registers the class object while it runs.
    // Asked for nothing else: an in-process try loads a browser's libraries for nothing.
    if (wide != nullptr && wideArgs != nullptr && (directory == nullptr || wideDir != nullptr))
        result = CoCreateInstance(kClsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                  kIidShellWindows, reinterpret_cast<void**>(&windows));
    // Each step counts only with S_OK: a window not found is S_FALSE and no object.
    if (result == S_OK)
        result = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                       &desktop);
    if (result == S_OK)
        result = desktop->QueryInterface(kIidServiceProvider, reinterpret_cast<void**>(&provider));
    if (result == S_OK)
        result = provider->QueryService(kSidTopLevelBrowser, kIidShellBrowser,
                                        reinterpret_cast<void**>(&browser));
    if (result == S_OK)
        result = browser->QueryActiveShellView(&view);
    if (result == S_OK)
        result = view->GetItemObject(SVGIO_BACKGROUND, kIidDispatch,
                                     reinterpret_cast<void**>(&background));
    if (result == S_OK)
        result = background->QueryInterface(kIidShellFolderViewDual,
                                            reinterpret_cast<void**>(&folderView));
    if (result == S_OK)
        result = folderView->get_Application(&application);
    if (result == S_OK)
        result = application->QueryInterface(kIidShellDispatch2, reinterpret_cast<void**>(&shell));
    if (result == S_OK)
        result = shell->ShellExecute(wide, argumentsVariant, directoryVariant, verb, showVariant);
    release(shell);
    release(application);
    release(folderView);
    release(background);
    release(view);
    release(browser);
    release(provider);
    release(desktop);
    release(windows);
    return result;
}
} // namespace

BOOL isLocalSystemSid(PSID sid) {
    // S-1-5-18 as stored: revision 1, one sub-authority, authority 5 (NT), then 18. The
    // count comes second, so no byte is read past a shorter SID.
    static const BYTE kLocalSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0};
    if (sid == nullptr)
        return FALSE;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    for (DWORD i = 0; i < sizeof kLocalSystem; ++i)
        if (bytes[i] != kLocalSystem[i])
            return FALSE;
    return TRUE;
}

BOOL runningAsLocalSystem() {
    TokenUserRecord user;
    return queryOwnToken(TokenUser, &user, sizeof user) && isLocalSystemSid(user.header.User.Sid);
}

void startAsDesktopUser(const char* file, const char* arguments, const char* directory, UINT show) {
    if (elevatedWithLinkedToken()) {
        HRESULT initialised = CoInitialize(nullptr);
        HRESULT started = shellExecuteOnDesktop(file, arguments, directory, show);
        if (SUCCEEDED(initialised))
            CoUninitialize();
        if (started == S_OK) {
            logEvent("started through the desktop shell:", file, nullptr, ERROR_SUCCESS);
            return;
        }
    }
    if (textCopy(commandLine, kScratchBuffer, file) &&
        (arguments[0] == 0 || (textAppend(commandLine, kScratchBuffer, " ") &&
                               textAppend(commandLine, kScratchBuffer, arguments)))) {
        // WinExec answers with a number above 31, or with an error code.
        UINT started = WinExec(commandLine, show);
        logEvent("started:", commandLine, nullptr, started > 31 ? ERROR_SUCCESS : started);
    }
}
