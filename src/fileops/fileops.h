// fileops.h: temporary files, sweeps, and file operations that survive files in use.
#pragma once

#include <windows.h>

// A new, empty temporary file "<prefix>XXXX.TMP" in programDir; its name goes to tempFileName.
void makeTempName(const char* prefix);

// Creates `directory` when it is not there and makes it current: ERROR_SUCCESS, or why not.
DWORD makeAndEnterDirectory(const char* directory);

// Deletes the leftovers of makeTempName in the current directory: files whose long name
// is "iza", "izd" or "ize", 1 to 4 hex digits and ".tmp", in any case; nothing else.
void cleanTempFiles();

// Deletes every file in the current directory whose long name matches `pattern`, "*"
// followed by a suffix such as ".lnk"; folders and names beginning with "." stay.
void deleteMatching(const char* pattern);

// Deletes `source` now, or at the next restart when it is in use.
BOOL deleteOrSchedule(const char* source);

// Copies `source` over `destination` and deletes `source`, or defers the move to the
// next restart; a null `destination` deletes `source`. Sets rebootNeeded on deferral.
// FALSE when the file is neither in place nor recorded for the restart.
BOOL replaceOrSchedule(const char* source, const char* destination);

// Records the move (or, with a null destination, the deletion) for the next restart;
// FALSE, and rebootNeeded untouched, when it could not be recorded.
BOOL scheduleAtRestart(const char* source, const char* destination);

// The system directory where this program's files really are: the WOW64 one on
// 64-bit Windows. FALSE, and an empty `directory` (kPathBuffer bytes), when it cannot be had.
BOOL realSystemDirectory(char* directory);
// Rewrites a path (kPathBuffer bytes) under the system directory as this program is told
// it to the same name where the file really is; any other path stays as it is.
void toRealSystemPath(char* path);
