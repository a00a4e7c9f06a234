// state.cpp: the one InstallerState; static storage, so every field starts at zero.
#include "startup/state.h"

InstallerState installer;
