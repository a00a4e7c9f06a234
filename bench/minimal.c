/* minimal.c: a program that only exits, the baseline of a Wine process start. */
#include <windows.h>

void __stdcall minimalEntry(void) {
    ExitProcess(0);
}
