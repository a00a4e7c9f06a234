// programGroup.cpp: the program group, the uninstaller copy and the uninstall entry.
#include "engine/engine.h"
#include "startup/state.h"

void removeOldProgramGroups() {}
BOOL createProgramGroup() {
    return TRUE;
}
