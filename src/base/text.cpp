// text.cpp: bounded ANSI string helpers.
#include "base/text.h"

DWORD textLength(const char* text, DWORD limit) {
    DWORD length = 0;
    while (length < limit && text[length] != 0)
        ++length;
    return length;
}

BOOL textCopy(char* destination, DWORD capacity, const char* source) {
    if (capacity == 0)
        return FALSE;
    destination[0] = 0;
    return textAppend(destination, capacity, source);
}

BOOL textAppend(char* destination, DWORD capacity, const char* source) {
    DWORD start = textLength(destination, capacity);
    DWORD added = textLength(source, capacity);
    if (start >= capacity || added >= capacity - start)
        return FALSE;
    for (DWORD i = 0; i < added; ++i)
        destination[start + i] = source[i];
    destination[start + added] = 0;
    return TRUE;
}

BOOL joinPath(char* destination, DWORD capacity, const char* directory, const char* name) {
    if (textCopy(destination, capacity, directory) && textAppend(destination, capacity, "\\") &&
        textAppend(destination, capacity, name))
        return TRUE;
    if (capacity != 0)
        destination[0] = 0;
    return FALSE;
}

void removeTrailingBackslashes(char* path) {
    char* run = nullptr;
    for (char* at = path; *at != 0; at = CharNextA(at))
        if (*at != '\\')
            run = nullptr;
        else if (run == nullptr)
            run = at;
    if (run != nullptr)
        *run = 0;
}

DWORD fileNameOffset(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != 0; at = CharNextA(at))
        if (*at == '\\')
            name = at + 1;
    return static_cast<DWORD>(name - path);
}
