// commandLine.cpp: the switch scan.
#include "startup/commandLine.h"
#include "startup/state.h"

void parseCommandLine(const char* commandLine) {
    (void)commandLine;
}
