// installLog.h: the /l: log. One line per event, appended:
//   <yyyy-mm-dd hh:mm:ss.mmm> [<process id>] <what was done>[: <result>] CR LF
// A result is "ok", "absent" (a deletion or look-up found nothing), "in use: replaced at
// the restart", "in use: deleted at the restart", "kept: already present", "kept: not
// empty", "passed over", "not read" (arguments) or "failed, error <Win32 code> (<its
// name>)"; the name only for the codes we meet.
// Each text in a line is cut at kLogFieldLength characters, and the line at kLogLineLength;
// the operation itself always gets the whole text. A log that cannot be written is
// passed over: logging never stops or changes the run, nor the last-error value.
#pragma once

#include <windows.h>

constexpr DWORD kLogFieldLength = 480;
constexpr DWORD kLogLineLength = 1280;
// No result is written for events that have none (a message shown, the start).
constexpr DWORD kNoResult = 0xFFFFFFFF;
// Outcomes meant as they are, though the call behind them refused.
constexpr DWORD kResultReplacedAtRestart = 0xFFFFFFFE;
constexpr DWORD kResultDeletedAtRestart = 0xFFFFFFFD;
constexpr DWORD kResultKeptPresent = 0xFFFFFFFC;
constexpr DWORD kResultKeptNotEmpty = 0xFFFFFFFB;
// Command-line arguments that a run did not act on.
constexpr DWORD kResultPassedOver = 0xFFFFFFFA;
constexpr DWORD kResultNotRead = 0xFFFFFFF9;
// Win32 codes never set this bit; it makes a missing file or path read as a failure.
constexpr DWORD kResultFailureBit = 0x20000000;
constexpr DWORD asFailure(DWORD error) {
    return error | kResultFailureBit;
}

// The run's header and start line: version, command line, platform and mode.
void logRunStart(const char* commandLine);

// "<action> <subject>[ from <source>][: <result of error>]"; `source` may be null.
void logEvent(const char* action, const char* subject, const char* source, DWORD error);

// logEvent for files and folders: `file` and `source`, when relative, are named by their
// full path against the current directory, as the operation just used them.
void logFile(const char* action, const char* file, const char* source, DWORD error);

// logEvent for a directory named by its full path, and where it came from (`origin`).
void logDirectory(const char* action, const char* directory, const char* origin, DWORD error);

// "<before> <directory><after>", without a result: a directory named inside a sentence.
void logDirectoryNote(const char* before, const char* directory, const char* after);

// A registry value written or deleted, or a key deleted (null `value`).
void logRegistry(const char* action, HKEY hive, const char* key, const char* value, LONG result);

// A message text, shown or left out (quiet mode).
void logMessage(const char* text, BOOL shown);

// Logs the end and ends the process with `exitCode`.
[[noreturn]] void endRun(DWORD exitCode);

// The exit code of a run that completed: 3010 in quiet mode when a restart completes it.
DWORD completedExitCode(DWORD deferred);

// Whether the /l: log opens for appending now (made if missing); TRUE without /l:.
BOOL logOpensForAppending();
