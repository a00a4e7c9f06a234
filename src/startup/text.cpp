// text.cpp: bounded ANSI string helpers.
#include "text.h"

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
