/* floor.c: what a silent install cannot avoid under Wine, without any of its own work,
 * in three steps chosen by the argument:
 *   (none)   a process with the installer's imports;
 *   /com     that, and one entry into COM's single-threaded apartment, which brings up
 *            the display driver (and, the first time, the prefix's desktop and COM
 *            service, which on Windows are always running);
 *   FOLDER   that, and the product started from FOLDER with WinExec, which waits
 *            until the product is idle. */
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

void __stdcall floorEntry(void) {
    char* folder = GetCommandLineA();
    char quote = ' ';
    char path[MAX_PATH];

    /* Referenced so that the loader maps the installer's DLLs, and USER32, without
     * which WinExec would not wait for the product. */
    if (!SHGetSpecialFolderPathA(NULL, path, CSIDL_PROGRAMS, FALSE) &&
        !FindWindowA("QuellmarkMain", NULL))
        RegCloseKey(HKEY_CURRENT_USER);

    /* The argument follows the program name, which may be quoted. */
    if (*folder == '"')
        quote = *folder++;
    while (*folder && *folder != quote)
        ++folder;
    while (*folder == '"' || *folder == ' ')
        ++folder;
    if (*folder) {
        CoInitialize(NULL);
        CoUninitialize();
        if (lstrcmpA(folder, "/com") != 0 && SetCurrentDirectoryA(folder))
            WinExec("Quellmark.exe", SW_SHOWNORMAL);
    }
    ExitProcess(0);
}
