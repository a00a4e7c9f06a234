// replaceOrSchedule.cpp: replacement and deletion that survive files in use.
//
// Restart work, 95 family: section [Rename] of wininit.ini, one line per request,
//   <short full path of destination>=<short full path of source>
//   NUL=<short full path of source>          (delete the source)
// carried out in file order at the next start. The whole-section calls exchange it
// as "entry\0entry\0...\0\0". We only ever append; duplicates are left as they are.
// NT family: MoveFileExA(source, destination or null, REPLACE_EXISTING | DELAY_UNTIL_REBOOT).
#include "base/installLog.h"
#include "base/state.h"
#include "base/text.h"
#include "fault/protectionFrame.h"
#include "fileops/fileops.h"

namespace {
constexpr char kRenameSectionName[] = "Rename";
constexpr char kDeleteKey[] = "NUL";
// Beyond this the section is left alone: the 95 family reads only so much of it.
constexpr DWORD kRenameSectionLimit = 6144;

char sourceShortPath[kPathBuffer];
char destinationShortPath[kPathBuffer];
char renameSection[kScratchBuffer];

static_assert(kRenameSectionLimit < kScratchBuffer, "room for one entry behind the section");

// The short full path of `name` in `path`; the full path when the file has no short
// form (it does not exist yet). FALSE when not even the full path fits.
BOOL shortFullPath(const char* name, char* path) {
    DWORD length = GetFullPathNameA(name, kPathOffer, path, nullptr);
    if (length == 0 || length >= kPathOffer)
        return FALSE;
    length = GetShortPathNameA(path, path, kPathOffer);
    if (length == 0 || length >= kPathOffer) {
        length = GetFullPathNameA(name, kPathOffer, path, nullptr);
        if (length == 0 || length >= kPathOffer)
            return FALSE;
    }
    return TRUE;
}

// Appends one entry to [Rename]; FALSE when it was refused or could not be written.
BOOL appendRenameEntry(const char* source, const char* destination) {
    if (installer.wininitPath[0] == 0 || !shortFullPath(source, sourceShortPath))
        return FALSE;
    const char* key = kDeleteKey;
    if (destination != nullptr) {
        if (!shortFullPath(destination, destinationShortPath))
            return FALSE;
        key = destinationShortPath;
    }
    DWORD used = GetPrivateProfileSectionA(kRenameSectionName, renameSection, kScratchBuffer,
                                           installer.wininitPath);
    // A section too large for the buffer is reported as its size less two: also refused.
    if (used > kRenameSectionLimit)
        return FALSE;
    DWORD keyLength = textLength(key, kPathBuffer);
    DWORD valueLength = textLength(sourceShortPath, kPathBuffer);
    // key "=" value NUL, then the list's closing NUL.
    if (keyLength + 1 + valueLength + 2 > kScratchBuffer - used)
        return FALSE;
    char* end = renameSection + used;
    for (DWORD i = 0; i < keyLength; ++i)
        *end++ = key[i];
    *end++ = '=';
    for (DWORD i = 0; i < valueLength; ++i)
        *end++ = sourceShortPath[i];
    *end++ = 0;
    *end = 0;
    return WritePrivateProfileSectionA(kRenameSectionName, renameSection, installer.wininitPath);
}
} // namespace

BOOL scheduleAtRestart(const char* source, const char* destination) {
    BOOL scheduled = TRUE;
    if (installer.platformId == kPlatformWindows95) {
        scheduled = appendRenameEntry(source, destination);
        if (!scheduled)
            SetLastError(ERROR_WRITE_FAULT);
    } else if (installer.platformId == kPlatformNt) {
        scheduled = MoveFileExA(source, destination,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    // With no known mechanism nothing is scheduled, yet the file is still not in place.
    // (Start-up always determines the platform, so this is not met in a run.)
    if (scheduled)
        installer.rebootNeeded = 1;
    return scheduled;
}

// One line per file: what happened to it now, or what waits for the restart. A deferral
// for any cause but a file in use also logs the refusal behind it.
BOOL replaceOrSchedule(const char* source, const char* destination) {
    ProtectionFrame frame;
    OPEN_PROTECTION_FRAME(frame, ReplaceOrSchedule);
    BOOL deletion = destination == nullptr;
    const char* action = deletion ? "deleted" : "replaced";
    const char* file = deletion ? source : destination;
    const char* from = deletion ? nullptr : source;
    DWORD error = ERROR_SUCCESS;
    BOOL defer;
    BOOL inUse;
    if (deletion) {
        // Only "access denied" means in use; a missing file is simply passed over. A
        // folder is refused so too, and one of a listed name is not ours: no file is there.
        DWORD attributes = GetFileAttributesA(source);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            error = ERROR_FILE_NOT_FOUND;
        else if (!DeleteFileA(source))
            error = GetLastError();
        defer = inUse = error == ERROR_ACCESS_DENIED;
    } else {
        if (!CopyFileA(source, destination, FALSE))
            error = GetLastError();
        else
            DeleteFileA(source);
        defer = error != ERROR_SUCCESS;
        inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    if (!inUse)
        logFile(action, file, from, error);
    BOOL done = TRUE;
    if (defer) {
        done = scheduleAtRestart(source, destination);
        if (!done)
            logFile(deletion ? "deletion at the restart of" : "replacement at the restart of", file,
                    from, asFailure(GetLastError()));
        else if (inUse)
            logFile(action, file, from,
                    deletion ? kResultDeletedAtRestart : kResultReplacedAtRestart);
        else
            logFile("replacement at the restart of", file, from, ERROR_SUCCESS);
    }
    CLOSE_PROTECTION_FRAME(frame);
    return done;
}

BOOL deleteOrSchedule(const char* source) {
    return replaceOrSchedule(source, nullptr);
}
