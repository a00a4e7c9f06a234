// ui.h: options dialog, agreement dialog, platform detection and the welcome text.
#pragma once

#include <windows.h>

INT_PTR CALLBACK optionsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK agreementDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void centerDialog(HWND window);
// Icon group 2 as the window icon; both dialogs show it.
void setDialogIcon(HWND window);

// The directory the options dialog proposes, into programDir: the machine's records as
// proposeRecordedDirectory reads them, else the user's AppPath, else the default.
void proposeDefaultDirectory();

// The machine's records of the install into programDir: the uninstall entry's
// InstallLocation, else HKLM AppPath, else "<Program Files>\Quellmark"; names which.
// Never the user's AppPath: /q alone and the quiet uninstall run elevated, unseen.
const char* proposeRecordedDirectory();

// A directory in a registry value into `into` (kPathBuffer bytes, offered kPathOffer),
// its bytes as stored and a terminator behind them: ERROR_SUCCESS, the registry's
// refusal, or ERROR_INVALID_DATA when it is empty or, with `stringOnly`, no string.
DWORD readPathValue(HKEY root, const char* keyName, const char* valueName, char* into,
                    BOOL stringOnly);

// The options dialog's path field into programDir; empty when it does not fit whole.
void readPathField();

// ERROR_SUCCESS when programDir holds Quellmark.exe or Quellmark.dll; else why not.
DWORD productImageError();

// Quiet uninstall: the directory into programDir, from a /p: before /die, else
// proposeRecordedDirectory's. Not from the user's AppPath: nobody checks the choice, and
// another account's install is not recorded there.
// FALSE (and logged) when it holds neither product image.
BOOL findInstalledDirectory();

// Whether the uninstall entry exists (in HKLM).
BOOL uninstallEntryExists();

// Whether programDir is the directory the uninstall entry records as InstallLocation,
// letter case and closing backslashes aside.
BOOL isRecordedDirectory();

// Quiet uninstall, after findInstalledDirectory failed: whether nothing is installed, that
// is no uninstall entry, and no product image in HKLM AppPath's directory or the default
// one. Leaves programDir changed.
BOOL nothingInstalled();

// Quiet uninstall: asks a running product to close as the dialog does after OK, and
// waits a bounded time for its window to go. FALSE when it refused or is still there.
BOOL closeProductQuietly();

// platformId, wininitPath and rebootNeeded, as the options dialog sets them at start.
void detectPlatform();

constexpr DWORD kWelcomeBuffer = 768;
constexpr DWORD kWelcomeColumns = 65;
extern char welcomeText[kWelcomeBuffer];
void buildWelcomeText();
// Copies `source` into `destination`, breaking lines at a blank so that none exceeds
// columnLimit - 1 characters; a line with no blank is broken hard at the limit. The
// destination must hold the source plus two bytes for every break.
void wrapText(const char* source, char* destination, DWORD columnLimit);

// The agreement, unpacked when shown: a NUL-terminated text of kAgreementLength characters,
// or an empty one when its record is damaged.
const char* unpackAgreementText();
// The fixed message at `offset` (a kText... of agreementPacked.h) in the agreement's
// record; coreFilesError when that record is damaged.
const char* fixedText(DWORD offset);
// Shown when the product images cannot be unpacked or written; never packed.
extern const char coreFilesError[];
