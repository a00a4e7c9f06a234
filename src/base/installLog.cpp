// installLog.cpp: the /l: log, for diagnosing unattended deployments.
#include "base/installLog.h"
#include "base/state.h"
#include "version.h"

namespace {

constexpr char kEllipsis[] = "...";
constexpr DWORD kLineEndRoom = 2; // CR LF
static_assert(2 * kLogFieldLength + 160 < kLogLineLength, "two paths and a result fit a line");

// The codes this program meets, named as an administrator looks them up; the names
// leave out the common "ERROR_", in the same order, each ended by a NUL.
constexpr WORD kErrorCodes[] = {
    ERROR_FILE_NOT_FOUND,      ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,        ERROR_INVALID_DATA,
    ERROR_SHARING_VIOLATION,   ERROR_LOCK_VIOLATION, ERROR_FILE_EXISTS,          ERROR_DISK_FULL,
    ERROR_INVALID_NAME,        ERROR_DIR_NOT_EMPTY,  ERROR_FILENAME_EXCED_RANGE, ERROR_TIMEOUT,
    ERROR_INVALID_COMMAND_LINE};
constexpr char kErrorNames[] = "FILE_NOT_FOUND\0PATH_NOT_FOUND\0ACCESS_DENIED\0INVALID_DATA\0"
                               "SHARING_VIOLATION\0LOCK_VIOLATION\0FILE_EXISTS\0DISK_FULL\0"
                               "INVALID_NAME\0DIR_NOT_EMPTY\0FILENAME_EXCED_RANGE\0TIMEOUT\0"
                               "INVALID_COMMAND_LINE";

constexpr DWORD countNames(const char* names, DWORD size) {
    DWORD count = 0;
    for (DWORD i = 0; i < size; ++i)
        count += names[i] == 0;
    return count;
}
static_assert(countNames(kErrorNames, sizeof kErrorNames) == sizeof kErrorCodes / sizeof(WORD),
              "one name per code");

// The outcomes from kResultNotRead up to kResultReplacedAtRestart.
constexpr char kOutcomes[] = "not read\0passed over\0kept: not empty\0kept: already present\0"
                             "in use: deleted at the restart\0in use: replaced at the restart";
static_assert(kResultNotRead + 5 == kResultReplacedAtRestart &&
                  countNames(kOutcomes, sizeof kOutcomes) == 6,
              "one outcome per code");

char logLine[kLogLineLength];
DWORD logUsed;
// Relative names resolved for a line; a name that does not resolve is logged as given.
char fullSubject[kPathBuffer];
char fullSource[kPathBuffer];

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

// `text`, then `value` in decimal, or as 0x and eight hex digits. The number alone is
// formatted: the longest form and its NUL fit the buffer whatever the value.
constexpr DWORD kNumberBuffer = 12;
void putNumber(const char* text, DWORD value, BOOL hex = FALSE) {
    static_assert(sizeof "0x12345678" <= kNumberBuffer && sizeof "4294967295" <= kNumberBuffer,
                  "every number fits");
    char number[kNumberBuffer];
    wsprintfA(number, hex ? "0x%08lX" : "%lu", value);
    putText(text);
    putText(number);
}

// Milliseconds and the process: one install fits in a second, and runs share a log.
void beginLine() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    logUsed = static_cast<DWORD>(wsprintfA(logLine, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ",
                                           now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                           now.wSecond, now.wMilliseconds, GetCurrentProcessId()));
}

// The `index`th of NUL-separated `texts`.
const char* nthText(const char* texts, DWORD index) {
    for (; index != 0; --index)
        while (*texts++ != 0) {
        }
    return texts;
}

void putResult(DWORD error) {
    if (error == kNoResult)
        return;
    putText(": ");
    if ((error & 0xF0000000) == kResultFailureBit) {
        error &= ~kResultFailureBit;
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        putText("absent");
        return;
    }
    if (error == ERROR_SUCCESS) {
        putText("ok");
        return;
    }
    if (error >= kResultNotRead) {
        putText(nthText(kOutcomes, error - kResultNotRead));
        return;
    }
    // What a shell call returns other than a Win32 code reads best as hex.
    putNumber("failed, error ", error, error >= 0x80000000);
    for (DWORD i = 0; i < sizeof kErrorCodes / sizeof(WORD); ++i) {
        if (kErrorCodes[i] == error) {
            putText(" (ERROR_");
            putText(nthText(kErrorNames, i));
            putText(")");
        }
    }
}

// Opened per line: the file stays free for readers, and an uninstall can still remove
// a directory that holds it. Made when missing.
HANDLE openLog() {
    return CreateFileA(installer.logFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void writeLine() {
    logLine[logUsed++] = '\r';
    logLine[logUsed++] = '\n';
    HANDLE file = openLog();
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

const char* yesNo(DWORD flag) {
    return flag != 0 ? "yes" : "no";
}

// The full path of `name` in `buffer`, or `name` itself when it has none that fits.
const char* fullPath(const char* name, char* buffer) {
    if (name == nullptr)
        return nullptr;
    DWORD length = GetFullPathNameA(name, kPathOffer, buffer, nullptr);
    return length != 0 && length < kPathOffer ? buffer : name;
}

constexpr DWORD kResolveSubject = 1;
constexpr DWORD kResolveDetail = 2;

// "<action> <prefix><subject>[<joiner><detail>]: <result>"; the one way an event line is made.
// `resolve` says which texts are file names to be given by their full path.
void logParts(const char* action, const char* prefix, const char* subject, const char* joiner,
              const char* detail, DWORD error, DWORD resolve) {
    if (installer.logFile[0] == 0)
        return;
    DWORD lastError = GetLastError();
    if ((resolve & kResolveSubject) != 0)
        subject = fullPath(subject, fullSubject);
    if ((resolve & kResolveDetail) != 0)
        detail = fullPath(detail, fullSource);
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
    logParts(action, "", subject, " from ", source, error, 0);
}

void logFile(const char* action, const char* file, const char* source, DWORD error) {
    logParts(action, "", file, " from ", source, error, kResolveSubject | kResolveDetail);
}

void logDirectory(const char* action, const char* directory, const char* origin, DWORD error) {
    logParts(action, "", directory, " from ", origin, error, kResolveSubject);
}

void logDirectoryNote(const char* before, const char* directory, const char* after) {
    logParts(before, "", directory, after, "", kNoResult, kResolveSubject);
}

void logRegistry(const char* action, HKEY hive, const char* key, const char* value, LONG result) {
    logParts(action, hiveName(hive), key, " value ", value, static_cast<DWORD>(result), 0);
}

void logMessage(const char* text, BOOL shown) {
    logEvent(shown ? "message shown:" : "message left out:", text, nullptr, kNoResult);
}

void logRunStart(const char* commandLine) {
    if (installer.logFile[0] == 0)
        return;
    beginLine();
    putText("==== " QM_PRODUCT_NAME " v" QM_VERSION_TEXT " installer");
    writeLine();
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        version.dwPlatformId = kPlatformUnknown;
    beginLine();
    putText("start: version " QM_VERSION_TEXT "; mode ");
    putText(modeName());
    putNumber("; Windows ", version.dwMajorVersion);
    putNumber(".", version.dwMinorVersion);
    putNumber(" build ", version.dwBuildNumber & 0xFFFF);
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
        putNumber("end: exit code ", exitCode);
        putText("; waiting for the restart: product files ");
        putText(yesNo(installer.rebootNeeded));
        putText(", the uninstaller's own file ");
        putText(yesNo(installer.ownFileDeferred));
        writeLine();
    }
    ExitProcess(exitCode);
}

BOOL logOpensForAppending() {
    if (installer.logFile[0] == 0)
        return TRUE;
    HANDLE file = openLog();
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(file);
    return TRUE;
}
