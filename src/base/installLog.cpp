// installLog.cpp: the /l: log, for diagnosing unattended deployments.
#include "base/installLog.h"
#include "base/state.h"

namespace {

constexpr char kEllipsis[] = "...";
constexpr DWORD kLineEndRoom = 2; // CR LF
static_assert(2 * kLogFieldLength + 160 < kLogLineLength, "two paths and a result fit a line");

char logLine[kLogLineLength];
DWORD logUsed;

// Appends up to `limit` characters of `text`, line breaks and tabs as blanks, and
// "..." when the text was cut. Never passes the line's end.
void put(const char* text, DWORD limit) {
    DWORD room = kLogLineLength - kLineEndRoom - logUsed;
    if (limit > room)
        limit = room;
    DWORD taken = 0;
    for (; text[taken] != 0 && taken < limit; ++taken) {
        char c = text[taken];
        logLine[logUsed++] = (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    if (text[taken] != 0 && logUsed >= sizeof kEllipsis - 1) {
        for (DWORD i = 0; i < sizeof kEllipsis - 1; ++i)
            logLine[logUsed - (sizeof kEllipsis - 1) + i] = kEllipsis[i];
    }
}

void putText(const char* text) {
    put(text, kLogFieldLength);
}

// wsprintfA writes at most 1024 characters and the terminator: room for any format,
// not only for the number.
constexpr DWORD kFormatBuffer = 1025;

void putNumber(const char* format, DWORD value) {
    char number[kFormatBuffer];
    wsprintfA(number, format, value);
    putText(number);
}

void beginLine() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    logUsed =
        static_cast<DWORD>(wsprintfA(logLine, "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear,
                                     now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond));
}

void putResult(DWORD error) {
    if (error == kNoResult)
        return;
    if (error == ERROR_SUCCESS) {
        putText(": ok");
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        putText(": absent");
    } else {
        putNumber(": failed, error %lu", error);
    }
}

// Opened per line: the file stays free for readers, and an uninstall can still remove
// a directory that holds it.
void writeLine() {
    logLine[logUsed++] = '\r';
    logLine[logUsed++] = '\n';
    HANDLE file = CreateFileA(installer.logFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
        WriteFile(file, logLine, logUsed, &written, nullptr);
    CloseHandle(file);
}

const char* hiveName(HKEY hive) {
    return hive == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\";
}

const char* modeName() {
    if (installer.uninstallMode != 0)
        return installer.quietMode != 0 ? "quiet uninstall" : "interactive uninstall";
    if (installer.silentMode != 0)
        return installer.quietMode != 0 ? "quiet install" : "silent install";
    return "interactive install";
}

// "<action> <prefix><subject>[<joiner><detail>]: <result>"; the one way an event line is made.
void logParts(const char* action, const char* prefix, const char* subject, const char* joiner,
              const char* detail, DWORD error) {
    if (installer.logFile[0] == 0)
        return;
    DWORD lastError = GetLastError();
    beginLine();
    putText(action);
    putText(" ");
    putText(prefix);
    putText(subject);
    if (detail != nullptr) {
        putText(joiner);
        putText(detail);
    }
    putResult(error);
    writeLine();
    SetLastError(lastError);
}

} // namespace

void logEvent(const char* action, const char* subject, const char* source, DWORD error) {
    logParts(action, "", subject, " from ", source, error);
}

void logRegistry(const char* action, HKEY hive, const char* key, const char* value, LONG result) {
    logParts(action, hiveName(hive), key, " value ", value, static_cast<DWORD>(result));
}

void logMessage(const char* text, BOOL shown) {
    logEvent(shown ? "message shown:" : "message left out:", text, nullptr, kNoResult);
}

void logRunStart(const char* commandLine) {
    if (installer.logFile[0] == 0)
        return;
    beginLine();
    putText("==== Quellmark v4.6 Build 10270 installer");
    writeLine();
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        version.dwPlatformId = kPlatformUnknown;
    beginLine();
    putText("start: version 4.6 Build 10270; mode ");
    putText(modeName());
    putNumber("; Windows %lu", version.dwMajorVersion);
    putNumber(".%lu", version.dwMinorVersion);
    putNumber(" build %lu", version.dwBuildNumber & 0xFFFF);
    putText(version.dwPlatformId == kPlatformNt ? " (NT family)" : " (95 family)");
    putText("; command line: ");
    putText(commandLine);
    writeLine();
}

DWORD completedExitCode(DWORD deferred) {
    return installer.quietMode != 0 && deferred != 0 ? kExitRestartNeeded : kExitDone;
}

void endRun(DWORD exitCode) {
    if (installer.logFile[0] != 0) {
        beginLine();
        putNumber("end: exit code %lu", exitCode);
        putText(installer.rebootNeeded != 0 ? "; files waiting for the restart: yes"
                                            : "; files waiting for the restart: no");
        writeLine();
    }
    ExitProcess(exitCode);
}

BOOL logOpensForAppending() {
    if (installer.logFile[0] == 0)
        return TRUE;
    HANDLE file = CreateFileA(installer.logFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(file);
    return TRUE;
}
