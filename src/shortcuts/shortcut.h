// shortcut.h: shell shortcut (.lnk) files through the shell's link object.
#pragma once

#include <windows.h>

void createShortcut(const char* targetPath, const char* linkFile, const char* iconFile,
                    const char* arguments, int iconIndex);

HRESULT writeShellLink(const char* targetPath, const char* linkFile, const char* iconFile,
                       const char* arguments, int iconIndex);
