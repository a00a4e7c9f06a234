// tempFiles.cpp: temporary names and the sweeps.
#include "fileops/fileops.h"
#include "startup/state.h"

void makeTempName(const char*) {}
void cleanTempFiles() {}
void deleteMatching(const char*) {}
