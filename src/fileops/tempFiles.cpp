// tempFiles.cpp: temporary names and the sweeps of the current directory.
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "fault/protectionFrame.h"
#include "fileops/fileops.h"

static_assert(sizeof(WIN32_FIND_DATAA) <= kScratchBuffer, "find record lives in scratch");

namespace {
// deleteMatching keeps its own record: its callers may hold something in scratch.
WIN32_FIND_DATAA matchFound;
HANDLE matchSearch;

// GetTempFileNameA writes at most four hex digits: only the low 16 bits of the number count.
constexpr DWORD kTempDigitsMax = 4;

// Out of line: the sweeps' name tests call it in five places.
__attribute__((noinline)) char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

BOOL isHexDigit(char c) {
    c = lowerAscii(c);
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Whether `text` begins with `lower`, letters compared without regard to case.
BOOL startsWith(const char* text, const char* lower) {
    for (; *lower != 0; ++text, ++lower)
        if (lowerAscii(*text) != *lower)
            return FALSE;
    return TRUE;
}

// "iza", "izd" or "ize", 1 to 4 hex digits, ".tmp": the only names makeTempName makes.
BOOL isOwnTempName(const char* name) {
    if (!startsWith(name, "iz"))
        return FALSE;
    char kind = lowerAscii(name[2]);
    if (kind != 'a' && kind != 'd' && kind != 'e')
        return FALSE;
    const char* digits = name + 3;
    DWORD count = 0;
    while (count < kTempDigitsMax && isHexDigit(digits[count]))
        ++count;
    const char* rest = digits + count;
    return count > 0 && startsWith(rest, ".tmp") && rest[4] == 0;
}

// Whether the long name `name` ends in `suffix` (the pattern behind its "*") after at
// least one character, and does not begin with ".".
BOOL endsWithSuffix(const char* name, const char* suffix) {
    DWORD length = textLength(name, MAX_PATH);
    DWORD suffixLength = textLength(suffix, MAX_PATH);
    if (name[0] == '.' || length <= suffixLength)
        return FALSE;
    for (const char* tail = name + length - suffixLength; *suffix != 0; ++tail, ++suffix)
        if (lowerAscii(*tail) != lowerAscii(*suffix))
            return FALSE;
    return TRUE;
}

BOOL isFile(const WIN32_FIND_DATAA& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
} // namespace

void makeTempName(const char* prefix) {
    // An empty name makes every later use of it fail instead of hitting a stale file.
    if (GetTempFileNameA(installer.programDir, prefix, 0, installer.tempFileName) == 0) {
        installer.tempFileName[0] = 0;
        logFile("made a temporary file in", installer.programDir, nullptr,
                asFailure(GetLastError()));
    }
}

// The pattern also matches through short names (IZ_B~QLK.TMP for "iz budget.tmpl") and
// catches the user's "izzy.tmp": each long name is checked again, folders are never ours.
void cleanTempFiles() {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, CleanTempFiles);
    WIN32_FIND_DATAA* found = reinterpret_cast<WIN32_FIND_DATAA*>(installer.scratch);
    found->cFileName[0] = 0;
    HANDLE search = FindFirstFileA("iz*.tmp", found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (isFile(*found) && isOwnTempName(found->cFileName))
                logFile("deleted", found->cFileName, nullptr,
                        DeleteFileA(found->cFileName) ? ERROR_SUCCESS : GetLastError());
            found->cFileName[0] = 0;
        } while (FindNextFileA(search, found));
        FindClose(search);
    }
    CLOSE_PROTECTION_FRAME(frame);
}

// "*.lnk" matches "notes.lnkx" through its short name NOTES~1.LNK, so each long name
// is checked again.
void deleteMatching(const char* pattern) {
    const char* suffix = pattern[0] == '*' ? pattern + 1 : pattern;
    matchSearch = FindFirstFileA(pattern, &matchFound);
    if (matchSearch == INVALID_HANDLE_VALUE)
        return;
    do {
        if (isFile(matchFound) && endsWithSuffix(matchFound.cFileName, suffix))
            logFile("deleted", matchFound.cFileName, nullptr,
                    DeleteFileA(matchFound.cFileName) ? ERROR_SUCCESS : GetLastError());
    } while (FindNextFileA(matchSearch, &matchFound));
    FindClose(matchSearch);
}
