// text.h: bounded ANSI string helpers; nothing here writes past `capacity`.
#pragma once

#include <windows.h>

// Characters before the terminator, searching at most `limit` bytes; `limit` when none is found.
DWORD textLength(const char* text, DWORD limit);

// Copies `source` into `destination` of `capacity` bytes, terminated. FALSE (and an
// empty destination) when it does not fit whole: a cut path must never be used.
BOOL textCopy(char* destination, DWORD capacity, const char* source);

// Appends `source` behind the text already in `destination`; FALSE and the
// destination unchanged when the result would not fit.
BOOL textAppend(char* destination, DWORD capacity, const char* source);

// `directory` + "\\" + `name`: the bounded form of wsprintfA("%s\\%s"), which would stop
// at 1024 characters. FALSE and an empty destination when the result does not fit. The
// separator is added whatever the directory ends in, so no second byte is taken for one.
BOOL joinPath(char* destination, DWORD capacity, const char* directory, const char* name);

// Paths are walked by characters of the ANSI code page, not by bytes: in the double-byte
// code pages 932, 936 and 950 the second byte of a character can be 0x5C, a backslash.

// Removes every backslash that ends `path`.
void removeTrailingBackslashes(char* path);

// Offset of the text behind the last backslash of `path`; 0 when it has none.
DWORD fileNameOffset(const char* path);
