// createShortcut.cpp: one .lnk file through IShellLinkA and IPersistFile.
#include "shortcuts/shortcut.h"

void createShortcut(const char*, const char*, const char*, const char*, int) {}
