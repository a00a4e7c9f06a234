// systemDirectory.cpp: where the installer's files in the system directory really are.
// On 64-bit Windows this 32-bit program is told "system32", but the file system
// redirector puts its files in the WOW64 directory. Whoever reads a path we write
// there natively (the system's list of programs, the shell, the restart) would look
// in the 64-bit system32 and find nothing.
#include "base/state.h"
#include "base/systemLibrary.h"
#include "base/text.h"
#include "fileops/fileops.h"

namespace {
using GetSystemWow64DirectoryProc = UINT(WINAPI*)(LPSTR, UINT);

char toldDirectory[kPathBuffer];
char realDirectory[kPathBuffer];
char pathTail[kPathBuffer];
} // namespace

BOOL realSystemDirectory(char* directory) {
    // Missing on the 95 family and older NT; it fails on 32-bit Windows, where the
    // system directory is where the files are.
    auto wow64Directory = reinterpret_cast<GetSystemWow64DirectoryProc>(
        loadedProcedure("kernel32.dll", "GetSystemWow64DirectoryA"));
    UINT length = 0;
    if (wow64Directory != nullptr)
        length = wow64Directory(directory, kPathOffer);
    if (length == 0)
        length = GetSystemDirectoryA(directory, kPathOffer);
    if (length == 0 || length >= kPathOffer) {
        directory[0] = 0;
        return FALSE;
    }
    return TRUE;
}

void toRealSystemPath(char* path) {
    UINT length = GetSystemDirectoryA(toldDirectory, kPathOffer);
    if (length == 0 || length >= kPathOffer || !realSystemDirectory(realDirectory))
        return;
    // A whole leading directory only: "system32x\..." is another place.
    if (textLength(path, kPathBuffer) <= length || path[length] != '\\' ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, static_cast<int>(length),
                       toldDirectory, static_cast<int>(length)) != CSTR_EQUAL)
        return;
    if (textCopy(pathTail, kPathBuffer, path + length) &&
        textAppend(realDirectory, kPathBuffer, pathTail))
        textCopy(path, kPathBuffer, realDirectory);
}
