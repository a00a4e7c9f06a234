// replaceOrSchedule.cpp: replacement and deletion that survive files in use.
#include "fileops/fileops.h"
#include "startup/state.h"

void deleteOrSchedule(const char* source) {
    replaceOrSchedule(source, nullptr);
}
void replaceOrSchedule(const char*, const char*) {}
void scheduleAtRestart(const char*, const char*) {}
