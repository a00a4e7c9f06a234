// state.h: the installer's one global record and the sizes every buffer takes from.
#pragma once

#include <windows.h>

// Every path buffer is this large; Windows is offered kPathOffer of it, so a
// path that the system returns always leaves room for a suffix we append.
constexpr DWORD kPathBuffer = 2500;
constexpr DWORD kPathOffer = 2048;
constexpr DWORD kScratchBuffer = 8192;
static_assert(kPathOffer < kPathBuffer, "suffix room behind an offered path");

// Values of InstallerState::operation.
constexpr DWORD kOperationNone = 0;
constexpr DWORD kOperationInstall = 1;
constexpr DWORD kOperationUninstall = 2;

// Values of InstallerState::platformId (the OSVERSIONINFO platform field).
constexpr DWORD kPlatformUnknown = 0;
constexpr DWORD kPlatformWindows95 = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD kPlatformNt = VER_PLATFORM_WIN32_NT;
// Exit codes of a quiet run; without /q every run ends with 0, a failed silent one with 1.
constexpr DWORD kExitDone = 0;
constexpr DWORD kExitFailed = 1;
constexpr DWORD kExitRestartNeeded = 3010; // ERROR_SUCCESS_REBOOT_REQUIRED, as deployment tools read it
// Every mode: another run holds the installer's mutex; the /l: log cannot be written.
constexpr DWORD kExitAnotherRun = 1618;    // ERROR_INSTALL_ALREADY_RUNNING: retry later
constexpr DWORD kExitLogUnwritable = 1622; // ERROR_INSTALL_LOG_FAILURE
// Every mode: an argument /q cannot take, or a dialog nobody could answer.
constexpr DWORD kExitBadCommandLine = 1639; // ERROR_INVALID_COMMAND_LINE
// Arguments the log names as passed over or not read; any beyond are only counted.
constexpr DWORD kSkippedArguments = 16;
// A quiet uninstall with nothing installed: tools take it as an uninstall that is done.
constexpr DWORD kExitUnknownProduct = 1605; // ERROR_UNKNOWN_PRODUCT

static_assert(kPlatformWindows95 == 1 && kPlatformNt == 2, "stored as the OS reports it");

struct InstallerState {
    HWND dialogWindow;              // options dialog; 0 in silent mode
    DWORD silentMode;               // /p: given and no uninstall switch
    DWORD noAutostart;              // /m
    DWORD dccSwitch;                // /r
    DWORD noProgramGroup;           // /s
    DWORD currentUserOnly;          // /c
    DWORD platformId;               // 1 = 95 family, 2 = NT family, 0 = not determined
    DWORD rebootNeeded;             // a product file's operation was deferred to the restart
    DWORD operation;                // kOperation*
    DWORD uninstallMode;            // started as the uninstaller (/die, /fdie)
    char scratch[kScratchBuffer];   // work area of one step at a time
    DWORD productWasRunning;        // the product window was found at dialog start
    DWORD directoryExisted;         // programDir existed before the install (upgrade)
    DWORD removeConfiguration;      // uninstall also removes the configuration
    char wininitPath[kPathBuffer];  // <Windows>\wininit.ini, 95 family only
    char tempFileName[kPathBuffer]; // last temporary file; the uninstaller's own path
    char importFile[kPathBuffer];   // /i: file, empty when none
    char programDir[kPathBuffer];   // the program directory
    DWORD quietMode;                // /q: nothing is shown; exit codes 0, 3010, 1
    char logFile[kPathBuffer];      // /l: file that events are appended to; empty when none
    DWORD defaultDirectory;         // /q without /p:: programDir is the dialog's proposal
    DWORD ownFileDeferred;          // the running uninstaller's own file waits for the restart
    DWORD unknownArgument;          // offset of the first word that is no switch nor path; 0: none
    DWORD helpAsked;                // /?
    DWORD stationHidden;            // nobody sees this window station: a window waits for ever
    DWORD registrationOnly;         // uninstall: the recorded directory lost the product's files
};

extern InstallerState installer;
