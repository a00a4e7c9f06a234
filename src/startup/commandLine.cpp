// commandLine.cpp: the switch scan. Switches are found in a case-folded copy of the
// command line in installer.scratch; path arguments are read from the line itself at
// the same byte positions, so they keep their case.
//
// Bytes, not characters, are scanned here even in the double-byte code pages (932, 936,
// 949, 950): no second byte is below 0x40, so every "/", blank and quote found is a real
// one; a first byte behind a "/" matches no switch, and the byte behind an ASCII letter
// begins a character. Folding changes second bytes too, but only in the copy, from
// which no text is taken.
#include "base/installLog.h"
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
    // "/?" too: no file name holds a "?", and "/l:x.log /?" must not log into "x.log /?".
    if (line[position] != '/' || (!isLetter(line[position + 1]) && line[position + 1] != '?'))
        return false;
    char after = line[position + 2];
    return after == ' ' || after == 0 || after == ':' || uninstallSwitchAt(position);
}

// The byte that ends the argument beginning at `position`: the line's end, the closing
// `quote`, or a blank at which a run of blanks begins that a switch follows. A run of
// blanks is judged once, as a whole, so long runs stay linear.
DWORD argumentEnd(const char* line, DWORD position, char quote) {
    for (;;) {
        char c = line[position];
        if (c == 0 || (quote != 0 && c == quote))
            return position;
        ++position;
        if (c == ' ') {
            DWORD runEnd = position;
            while (line[runEnd] == ' ')
                ++runEnd;
            if (switchAt(line, runEnd))
                return position - 1;
            position = runEnd;
        }
    }
}

// The argument behind "i:", "p:" or "l:" at `position`: its text begins at `start`, past
// blanks and an opening quote, and the byte returned ends it.
DWORD pathArgumentEnd(const char* line, DWORD position, DWORD& start) {
    DWORD typed = position;
    while (line[position] == ' ')
        ++position;
    start = position;
    // "/p: /m", as an empty variable in a tool's command leaves it: the path is empty,
    // and "/m" stays a switch instead of becoming the directory.
    if (position != typed && switchAt(line, position))
        return position;
    char quote = 0;
    if (line[position] == '"' || line[position] == '\'') {
        quote = line[position];
        ++position;
    }
    start = position;
    return argumentEnd(line, position, quote);
}

// Reads the argument that begins at `position` into `field` and returns the position of
// its last byte, where the scan goes on.
DWORD readPathArgument(const char* line, DWORD position, char* field) {
    // Walked to its end even when too long to hold, so the scan goes on behind it.
    DWORD end = pathArgumentEnd(line, position, position);
    DWORD length = end - position;
    if (length < kPathBuffer) {
        for (DWORD i = 0; i < length; ++i)
            rawArgument[i] = line[position + i];
        rawArgument[length] = 0;
        removeTrailingBackslashes(rawArgument);
        DWORD resolved = GetFullPathNameA(rawArgument, kPathBuffer, resolvedPath, nullptr);
        if (resolved != 0 && resolved < kPathBuffer)
            textCopy(field, kPathBuffer, resolvedPath);
    }
    return end - 1;
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

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Where the word at `position` ends: at a blank or tab, as Windows splits arguments.
DWORD wordEnd(const char* line, DWORD position) {
    while (line[position] != 0 && !isBlank(line[position]))
        ++position;
    return position;
}

// Arguments that the run does not act on, for the log: passed over, or behind the
// uninstall switch and so never read.
struct SkippedArgument {
    DWORD start;
    DWORD length;
};
SkippedArgument skipped[kSkippedArguments];
DWORD skippedCount; // all of them, those beyond the record too
DWORD notReadFrom;  // the first byte behind the uninstall switch's word; 0 without one

void recordSkipped(DWORD start, DWORD end) {
    if (skippedCount < kSkippedArguments)
        skipped[skippedCount] = {start, end - start};
    ++skippedCount;
}

// An argument at `position` that is no switch nor path: quiet mode refuses the first.
void recordUnknown(const char* line, DWORD position, bool honoured) {
    if (installer.unknownArgument == 0)
        installer.unknownArgument = position;
    if (!honoured)
        recordSkipped(position, wordEnd(line, position));
}

// Behind the uninstall switch nothing is read; its words are recorded, a path switch
// with its path as the scan would have taken it.
void recordNotRead(const char* line, DWORD position) {
    position = wordEnd(line, position);
    notReadFrom = position;
    for (;;) {
        while (isBlank(foldedAt(position)))
            ++position;
        if (foldedAt(position) == 0)
            return;
        DWORD end = wordEnd(line, position);
        char name = foldedAt(position + 1);
        if (foldedAt(position) == '/' && (name == 'p' || name == 'i' || name == 'l') &&
            foldedAt(position + 2) == ':') {
            DWORD start;
            end = pathArgumentEnd(line, position + 3, start);
            // A closing quote belongs to the argument; a blank or the end do not.
            end += line[end] != 0 && line[end] != ' ';
        }
        recordSkipped(position, end);
        position = end;
    }
}

// A word that is no switch begins at `position`, the first byte of an argument. A
// switch in quotes is one, as some tools quote every argument.
bool strayWordAt(const char* line, DWORD position, DWORD arguments) {
    char c = line[position];
    if (isBlank(c) || c == '/' || ((c == '"' || c == '\'') && line[position + 1] == '/'))
        return false;
    return position == arguments || isBlank(line[position - 1]);
}

// Up to one byte more than the log keeps, so that a longer argument is cut with "...".
char argumentText[kLogFieldLength + 2];

const char* argumentAt(const char* line, DWORD start, DWORD length) {
    DWORD i = 0;
    for (; i < length && i < kLogFieldLength + 1 && line[start + i] != 0; ++i)
        argumentText[i] = line[start + i];
    argumentText[i] = 0;
    return argumentText;
}

// "unknown switch /x: <result>", "unknown argument -x: <result>", "/x after /die: not read".
void logArgument(const char* line, DWORD start, DWORD length, DWORD result) {
    const char* text = argumentAt(line, start, length);
    if (result == kResultNotRead)
        logEvent(text, "after /die", nullptr, result);
    else
        logEvent(line[start] == '/' ? "unknown switch" : "unknown argument", text, nullptr, result);
}
} // namespace

void parseCommandLine(const char* commandLine) {
    foldCommandLine(commandLine);
    skippedCount = 0;
    notReadFrom = 0;
    DWORD arguments = argumentsStart();
    // Bytes before this belong to the program's path or to a path argument: no argument
    // begins there, and a "/" there is no mistake.
    DWORD checkedFrom = arguments;
    DWORD position = 0;
    for (;;) {
        char c = foldedAt(position);
        if (c == 0)
            break;
        if (c != '/') {
            if (position >= checkedFrom && strayWordAt(commandLine, position, arguments))
                recordUnknown(commandLine, position, false);
            // Text glued to a path's closing quote is no part of the path; it must not
            // vanish unseen ("/p:"C:\Program Files"\Quellmark" would install one level up).
            else if (position == checkedFrom && (c == '"' || c == '\'') &&
                     wordEnd(commandLine, position + 1) != position + 1)
                recordUnknown(commandLine, position + 1, false);
            ++position;
            continue;
        }
        DWORD slash = position;
        DWORD p = position + 1;
        if (uninstallSwitchAt(position)) {
            installer.uninstallMode = 1;
            recordNotRead(commandLine, position);
            break;
        }
        char next = foldedAt(p + 1);
        position = p;
        bool known = true;
        bool honoured = false;
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
            case 'i':
            case 'p':
                known = next == ':';
                if (known) {
                    char* field = installer.logFile;
                    if (foldedAt(p) == 'i')
                        field = installer.importFile;
                    // Set even when the path is refused: a silent install was asked for, and
                    // it then fails visibly at the program directory, not in a dialog.
                    if (foldedAt(p) == 'p') {
                        field = installer.programDir;
                        installer.silentMode = 1;
                    }
                    position = readPathArgument(commandLine, p + 2, field);
                    if (position + 1 > checkedFrom)
                        checkedFrom = position + 1;
                }
                break;
            case '?':
                // Quiet mode has no one to show the summary to: there it is a mistake too.
                installer.helpAsked = 1;
                known = false;
                honoured = true;
                break;
            default:
                known = false;
                break;
            }
        }
        if (!known && slash >= checkedFrom)
            recordUnknown(commandLine, slash, honoured);
    }
}

void logUnknownArgument(const char* commandLine) {
    DWORD start = installer.unknownArgument;
    logArgument(commandLine, start, wordEnd(commandLine, start) - start,
                ERROR_INVALID_COMMAND_LINE);
}

void logSkippedArguments(const char* commandLine) {
    for (DWORD i = 0; i < skippedCount; ++i) {
        if (i == kSkippedArguments) {
            logEvent("more arguments passed over or not read:", "not named", nullptr, kNoResult);
            break;
        }
        DWORD start = skipped[i].start;
        logArgument(commandLine, start, skipped[i].length,
                    notReadFrom != 0 && start >= notReadFrom ? kResultNotRead : kResultPassedOver);
    }
}
