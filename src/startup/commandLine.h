// commandLine.h: the switch scan that fills InstallerState from the command line.
#pragma once

// Scans the whole command line (program path included) and records the switches, and
// the first switch in the arguments that it does not know (installer.badSwitch).
// A path that cannot be resolved, or does not fit, leaves its field as it was.
void parseCommandLine(const char* commandLine);
