// launcher.cpp: stand-in for the product's launcher.
#include <windows.h>

extern "C" void __stdcall launcherEntry() {
    ExitProcess(0);
}
