// fault.h: the fault report and its formatter.
#pragma once

#include <windows.h>

// Formats "%s", "%u", "%X", "%B" and "%%" with one 32-bit value per directive;
// returns the position of the terminator it wrote.
char* Opt_wsprintfA(char* destination, const char* format, ...);
