// commandLine.cpp: the switch scan. Switches are found in a case-folded copy of the
// command line in installer.scratch; path arguments are read from the line itself at
// the same byte positions, so they keep their case.
//
// Bytes, not characters, are scanned here even in the double-byte code pages (932, 936,
// 949, 950): no second byte is below 0x40, so every "/", blank and quote found is a real
// one; a first byte behind a "/" matches no switch, and the byte behind an ASCII letter
// begins a character. Folding changes second bytes too, but only in the copy, from
// which no text is taken.
#include "base/state.h"
#include "base/text.h"
#include "startup/commandLine.h"

namespace {
// Raw text of one path argument, and its resolution: a field is only ever replaced by
// a whole result, never by a cut one.
char rawArgument[kPathBuffer];
char resolvedPath[kPathBuffer];

// Bytes of the folded copy before its terminator. Scratch behind a short copy still
// holds older data, so every look-ahead goes through foldedAt.
DWORD foldedLength;

char foldedAt(DWORD position) {
    return position < foldedLength ? installer.scratch[position] : 0;
}

bool foldedStartsWith(DWORD position, const char* prefix) {
    for (; *prefix != 0; ++prefix, ++position)
        if (foldedAt(position) != *prefix)
            return false;
    return true;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A longer line is cut, so that positions in the copy stay those of the line.
void foldCommandLine(const char* commandLine) {
    DWORD length = 0;
    while (length < kScratchBuffer - 1 && commandLine[length] != 0) {
        char c = commandLine[length];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        installer.scratch[length] = c;
        ++length;
    }
    installer.scratch[length] = 0;
    foldedLength = length;
}

// The uninstall switch at `position` (its "/"), read with any letters behind it.
bool uninstallSwitchAt(DWORD position) {
    return foldedStartsWith(position + 1, "die") || foldedStartsWith(position + 1, "fdie");
}

// "/", a letter, then a blank, the end or ":"; or the uninstall switch, which the
// scan reads with any letters behind it. Short-circuit keeps every read at or before
// the line's terminator.
bool switchAt(const char* line, DWORD position) {
    if (line[position] != '/' || !isLetter(line[position + 1]))
        return false;
    char after = line[position + 2];
    return after == ' ' || after == 0 || after == ':' || uninstallSwitchAt(position);
}

// Reads the argument that begins at `position` (behind "i:" or "p:") into `field` and
// returns the position of its last byte, where the scan goes on.
DWORD readPathArgument(const char* line, DWORD position, char* field) {
    while (line[position] == ' ')
        ++position;
    char quote = 0;
    if (line[position] == '"' || line[position] == '\'') {
        quote = line[position];
        ++position;
    }
    // Counted past the buffer, so an argument too long to hold is still walked to its end.
    DWORD length = 0;
    for (;;) {
        char c = line[position];
        if (c == 0 || (quote != 0 && c == quote))
            break;
        // A run of blanks is judged once, as a whole, so long runs stay linear.
        DWORD runEnd = position + 1;
        if (c == ' ') {
            while (line[runEnd] == ' ')
                ++runEnd;
            if (switchAt(line, runEnd))
                break;
        }
        for (; position < runEnd; ++position, ++length)
            if (length < kPathBuffer - 1)
                rawArgument[length] = line[position];
    }

    if (length < kPathBuffer) {
        rawArgument[length] = 0;
        removeTrailingBackslashes(rawArgument);
        DWORD resolved = GetFullPathNameA(rawArgument, kPathBuffer, resolvedPath, nullptr);
        if (resolved != 0 && resolved < kPathBuffer)
            textCopy(field, kPathBuffer, resolvedPath);
    }
    return position - 1;
}

// The first byte behind the program's own path: a quoted path ends at its closing
// quote, a bare one at the first blank or tab, as Windows splits a command line.
DWORD argumentsStart() {
    DWORD position = 0;
    if (foldedAt(0) == '"') {
        do
            ++position;
        while (foldedAt(position) != 0 && foldedAt(position) != '"');
        return foldedAt(position) == 0 ? position : position + 1;
    }
    while (foldedAt(position) != 0 && foldedAt(position) != ' ' && foldedAt(position) != '\t')
        ++position;
    return position;
}

// Keeps the first switch that matches nothing, as typed, up to a blank: the log names it.
void recordUnknownSwitch(const char* commandLine, DWORD position) {
    if (installer.badSwitch[0] != 0)
        return;
    DWORD length = 0;
    for (; length < kSwitchText - 1 && position + length < foldedLength; ++length) {
        char c = commandLine[position + length];
        if (c == ' ' || c == '\t')
            break;
        installer.badSwitch[length] = c;
    }
    installer.badSwitch[length] = 0;
}
} // namespace

void parseCommandLine(const char* commandLine) {
    foldCommandLine(commandLine);
    DWORD arguments = argumentsStart();
    DWORD position = 0;
    for (;;) {
        char c = foldedAt(position);
        if (c == 0)
            break;
        if (c != '/') {
            ++position;
            continue;
        }
        DWORD slash = position;
        DWORD p = position + 1;
        if (uninstallSwitchAt(position)) {
            installer.uninstallMode = 1;
            break;
        }
        char next = foldedAt(p + 1);
        position = p;
        bool known = true;
        if (next >= 'a' && next <= 'z') {
            known = false;
        } else {
            switch (foldedAt(p)) {
            case 'r':
                installer.dccSwitch = 1;
                break;
            case 'm':
                installer.noAutostart = 1;
                break;
            case 's':
                installer.noProgramGroup = 1;
                break;
            case 'c':
                installer.currentUserOnly = 1;
                break;
            case 'q':
                installer.quietMode = 1;
                break;
            case 'l':
                known = next == ':';
                if (known)
                    position = readPathArgument(commandLine, p + 2, installer.logFile);
                break;
            case 'i':
                known = next == ':';
                if (known)
                    position = readPathArgument(commandLine, p + 2, installer.importFile);
                break;
            case 'p':
                // Set even when the path is refused: a silent install was asked for, and
                // it then fails visibly at the program directory instead of opening a dialog.
                known = next == ':';
                if (known) {
                    installer.silentMode = 1;
                    position = readPathArgument(commandLine, p + 2, installer.programDir);
                }
                break;
            case '?':
                // Quiet mode has no one to show the summary to: there it is a mistake too.
                installer.helpAsked = 1;
                known = false;
                break;
            default:
                known = false;
                break;
            }
        }
        // The program's own path is scanned for switches, but a "/" in it is no mistake.
        if (!known && slash >= arguments)
            recordUnknownSwitch(commandLine, slash);
    }
}
