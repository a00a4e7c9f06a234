// systemLibrary.cpp: DLL loading that never looks in the installer's own folder,
// which is typically a Downloads folder where anyone may have planted a DLL.
#include "base/state.h"
#include "base/systemLibrary.h"
#include "base/text.h"

namespace {
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
constexpr DWORD kSearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
} // namespace

void* loadedProcedure(const char* module, const char* procedure) {
    HMODULE loaded = GetModuleHandleA(module);
    return loaded != nullptr ? reinterpret_cast<void*>(GetProcAddress(loaded, procedure)) : nullptr;
}

void hardenDllSearch() {
    // Only Windows 8 and updated Windows 7 have it; older systems lack the export.
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(
        loadedProcedure("kernel32.dll", "SetDefaultDllDirectories"));
    if (setDefault != nullptr)
        setDefault(kSearchSystem32);
}

HMODULE loadSystemLibrary(const char* name) {
    static char path[kPathBuffer];
    UINT length = GetSystemDirectoryA(path, kPathOffer);
    if (length == 0 || length >= kPathOffer)
        return nullptr;
    if (!textAppend(path, kPathBuffer, "\\") || !textAppend(path, kPathBuffer, name))
        return nullptr;
    return LoadLibraryA(path);
}
