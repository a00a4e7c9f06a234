// makeAndEnterDirectory.cpp: a directory made when missing, then made current.
#include "fileops/fileops.h"

DWORD makeAndEnterDirectory(const char* directory) {
    // The creation's refusal says why (a missing parent, no access) better than the
    // failed entry after it; a directory already there is no refusal.
    DWORD error = ERROR_SUCCESS;
    if (!CreateDirectoryA(directory, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        error = GetLastError();
    if (SetCurrentDirectoryA(directory))
        return ERROR_SUCCESS;
    return error != ERROR_SUCCESS ? error : GetLastError();
}
