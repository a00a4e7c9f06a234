// createShortcut.cpp: one .lnk file through IShellLinkA and IPersistFile.
#include "shortcuts/shortcut.h"

#include "base/installLog.h"
#include "fault/protectionFrame.h"

#include <shlobj.h>

namespace {
// Our own copies: uuid.lib is not linked into a freestanding image.
constexpr GUID kClsidShellLink = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidShellLinkA = {
    0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidPersistFile = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static_assert(sizeof(GUID) == 16, "stored as 16-byte records");

constexpr int kWideNameUnits = 260;
constexpr SIZE_T kWideNameBytes = kWideNameUnits * sizeof(WCHAR);
static_assert(kWideNameBytes == 520, "the wide link name buffer");
} // namespace

HRESULT writeShellLink(const char* targetPath, const char* linkFile, const char* iconFile,
                       const char* arguments, int iconIndex) {
    HANDLE heap = GetProcessHeap();
    auto wideName = static_cast<WCHAR*>(HeapAlloc(heap, 0, kWideNameBytes));
    HRESULT result = E_OUTOFMEMORY;
    if (wideName != nullptr) {
        IShellLinkA* link = nullptr;
        result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                  reinterpret_cast<void**>(&link));
        if (SUCCEEDED(result)) {
            IPersistFile* file = nullptr;
            result = link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
            if (SUCCEEDED(result)) {
                link->SetPath(targetPath);
                link->SetIconLocation(iconFile, iconIndex);
                link->SetArguments(arguments);
                // A name that does not convert whole would be saved under a cut name.
                if (MultiByteToWideChar(CP_ACP, 0, linkFile, -1, wideName, kWideNameUnits) != 0)
                    result = file->Save(wideName, TRUE);
                else
                    result = E_INVALIDARG;
                file->Release();
            }
            link->Release();
        }
        HeapFree(heap, 0, wideName);
    }
    return result;
}

void createShortcut(const char* targetPath, const char* linkFile, const char* iconFile,
                    const char* arguments, int iconIndex) {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, CreateShortcut);
    CoInitialize(nullptr);
    HRESULT written = writeShellLink(targetPath, linkFile, iconFile, arguments, iconIndex);
    // A Win32 failure wrapped in an HRESULT is logged as the Win32 code it carries.
    DWORD error = SUCCEEDED(written) ? ERROR_SUCCESS : static_cast<DWORD>(written);
    if (FAILED(written) && HRESULT_FACILITY(written) == FACILITY_WIN32)
        error = asFailure(HRESULT_CODE(written));
    logFile("shortcut", linkFile, targetPath, error);
    CoUninitialize();
    CLOSE_PROTECTION_FRAME(frame);
}
