// detectPlatform.cpp: the platform family and wininit.ini path.
#include "startup/state.h"
#include "ui/ui.h"

void detectPlatform() {}
