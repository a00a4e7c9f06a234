// startAsDesktopUser.h: starting a program with the desktop user's rights, not ours.
#pragma once

#include <windows.h>

// Starts `file` (quoted if it holds blanks) with `arguments` in `directory` (null: the
// shell's choice), shown as `show`. An elevated installer asks the desktop shell to
// start it, so that it runs as the user who is logged on; everywhere else, and when the
// shell does not start it, WinExec starts "<file> <arguments>" in the current directory.
void startAsDesktopUser(const char* file, const char* arguments, const char* directory, UINT show);

// Whether this process runs as LocalSystem (S-1-5-18), as deployment tools run installs:
// whatever it starts would run as SYSTEM beside the user's own copy. FALSE where there
// are no tokens (the 95 family).
BOOL runningAsLocalSystem();

// Whether `sid` is LocalSystem's, S-1-5-18; FALSE for a null one.
BOOL isLocalSystemSid(PSID sid);
