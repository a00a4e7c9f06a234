// commandLine.h: the switch scan that fills InstallerState from the command line.
#pragma once

// Scans the whole command line (program path included) and records the switches; the
// first argument that is neither a switch nor the path of one (installer.unknownArgument);
// and, for the log, the arguments passed over and those behind the uninstall switch.
// A path that cannot be resolved, or does not fit, leaves its field as it was.
void parseCommandLine(const char* commandLine);

// The line for installer.unknownArgument, as the failure of a quiet run.
void logUnknownArgument(const char* commandLine);

// A line for each argument passed over, and for each one behind the uninstall switch.
void logSkippedArguments(const char* commandLine);
