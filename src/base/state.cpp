// state.cpp: the one InstallerState; static storage, so every field starts at zero.
#include "base/state.h"

InstallerState installer;
