// shellLink.cpp: shortcut files read back through the shell's own link object.
#include "shellLink.h"

#include <windows.h>

#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

namespace qmtest {

std::optional<ShellLink> loadShellLink(const std::string& path) {
    std::optional<ShellLink> result;
    HRESULT initialized = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(path.size() + 1, L'\0');
        int units = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                        static_cast<int>(wide.size()));
        if (units > 0 && SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
            ShellLink shortcut;
            char buffer[MAX_PATH * 4] = {};
            if (SUCCEEDED(link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH)))
                shortcut.target = buffer;
            buffer[0] = 0;
            if (SUCCEEDED(link->GetArguments(buffer, sizeof buffer)))
                shortcut.arguments = buffer;
            buffer[0] = 0;
            int index = -1;
            if (SUCCEEDED(link->GetIconLocation(buffer, sizeof buffer, &index))) {
                shortcut.iconFile = buffer;
                shortcut.iconIndex = index;
            }
            result = shortcut;
        }
    }
    if (file != nullptr)
        file->Release();
    if (link != nullptr)
        link->Release();
    if (SUCCEEDED(initialized))
        CoUninitialize();
    return result;
}

unsigned iconCount(const std::string& file) {
    return ExtractIconExA(file.c_str(), -1, nullptr, nullptr, 0);
}

bool iconExists(const std::string& file, int index) {
    if (index < 0 || static_cast<unsigned>(index) >= iconCount(file))
        return false;
    HICON icon = ExtractIconA(GetModuleHandleA(nullptr), file.c_str(), static_cast<UINT>(index));
    bool found = icon != nullptr && icon != reinterpret_cast<HICON>(1);
    if (found)
        DestroyIcon(icon);
    return found;
}

} // namespace qmtest
