// tempFiles.cpp: temporary names and the sweeps of the current directory.
#include "base/installLog.h"
#include "base/state.h"
#include "fault/protectionFrame.h"
#include "fileops/fileops.h"

static_assert(sizeof(WIN32_FIND_DATAA) <= kScratchBuffer, "find record lives in scratch");

namespace {
// deleteMatching keeps its own record: its callers may hold something in scratch.
WIN32_FIND_DATAA matchFound;
HANDLE matchSearch;
} // namespace

void makeTempName(const char* prefix) {
    // An empty name makes every later use of it fail instead of hitting a stale file.
    if (GetTempFileNameA(installer.programDir, prefix, 0, installer.tempFileName) == 0) {
        installer.tempFileName[0] = 0;
        logFile("made a temporary file in", installer.programDir, nullptr,
                asFailure(GetLastError()));
    }
}

// Names beginning with "." are spared: "." and "..", and files such as ".iz1.tmp" that
// match only through their short name (IZ1~1.TMP) and are not ours.
void cleanTempFiles() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, CleanTempFiles);
    WIN32_FIND_DATAA* found = reinterpret_cast<WIN32_FIND_DATAA*>(installer.scratch);
    found->cFileName[0] = 0;
    HANDLE search = FindFirstFileA("iz*.tmp", found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found->cFileName[0] != '.' && found->cFileName[0] != 0)
                logFile("deleted", found->cFileName, nullptr,
                        DeleteFileA(found->cFileName) ? ERROR_SUCCESS : GetLastError());
            found->cFileName[0] = 0;
        } while (FindNextFileA(search, found));
        FindClose(search);
    }
    CLOSE_PROTECTION_FRAME(frame);
}

void deleteMatching(const char* pattern) {
    matchSearch = FindFirstFileA(pattern, &matchFound);
    if (matchSearch == INVALID_HANDLE_VALUE)
        return;
    do {
        if (matchFound.cFileName[0] != '.')
            logFile("deleted", matchFound.cFileName, nullptr,
                    DeleteFileA(matchFound.cFileName) ? ERROR_SUCCESS : GetLastError());
    } while (FindNextFileA(matchSearch, &matchFound));
    FindClose(matchSearch);
}
