// uninstall.cpp: the Uninstall command, the uninstall steps and the uninstall ending.
#include "engine/engine.h"
#include "startup/state.h"

void startUninstall() {}
BOOL runUninstallSteps() {
    return TRUE;
}
void uninstallEnding() {
    ExitProcess(0);
}
