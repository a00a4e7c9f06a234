// systemLibrary.h: DLL loading that never looks in the installer's own folder.
#pragma once

#include <windows.h>

// Restricts the process's DLL search to the system directory where the system allows it.
void hardenDllSearch();

// The export `procedure` of the loaded module `module`; null when either is missing.
void* loadedProcedure(const char* module, const char* procedure);

// Loads `name` by its full path in the system directory; 0 when it cannot.
HMODULE loadSystemLibrary(const char* name);
