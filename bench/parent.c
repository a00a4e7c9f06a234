/* parent.c: prints the program name of the process that started the running NAME,
 * "exited" when that process has gone, or "none" when no NAME runs within 5 s. The
 * bench checks with it which route started the product.
 * usage: qm-parent.exe NAME */
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

/* The entry of process `id`, or of the last process named `name`; FALSE if none. */
static BOOL findProcess(DWORD id, const char* name, PROCESSENTRY32* found) {
    BOOL seen = FALSE;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (name != NULL ? _stricmp(entry.szExeFile, name) == 0 : entry.th32ProcessID == id) {
            *found = entry;
            seen = TRUE;
        }
    CloseHandle(snapshot);
    return seen;
}

int main(int argc, char** argv) {
    PROCESSENTRY32 child;
    PROCESSENTRY32 parent;
    if (argc != 2)
        return 2;
    /* A start handed to another process may still be under way. */
    for (int tries = 0; !findProcess(0, argv[1], &child); ++tries) {
        if (tries == 50) {
            puts("none");
            return 1;
        }
        Sleep(100);
    }
    puts(findProcess(child.th32ParentProcessID, NULL, &parent) ? parent.szExeFile : "exited");
    return 0;
}
