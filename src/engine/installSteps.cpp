// installSteps.cpp: install steps 1 to 6 and the install's part of the shared tail.
#include "engine/engine.h"
#include "startup/state.h"

BOOL runInstallSteps() {
    return TRUE;
}
void removeRunValues() {}
void setAutostart() {}
void copyDataFiles() {}
void setBrowserOptions() {}
void completeInstall() {
    ExitProcess(0);
}
const char browserCacheInstructions[] = "";
