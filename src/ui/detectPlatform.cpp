// detectPlatform.cpp: the platform family, which decides how work is left for the restart.
#include "base/state.h"
#include "base/text.h"
#include "ui/ui.h"

// The 95 family rejects any other record size.
static_assert(sizeof(OSVERSIONINFOA) == 148, "the 95 family's version record");
static_assert(sizeof(OSVERSIONINFOA) <= kScratchBuffer, "version record lives in scratch");

void detectPlatform() {
    OSVERSIONINFOA* version = reinterpret_cast<OSVERSIONINFOA*>(installer.scratch);
    version->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    // A failed query leaves the 95 family, the one that needs wininit.ini.
    version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    GetVersionExA(version);
    installer.platformId = version->dwPlatformId;
    installer.rebootNeeded = 0;
    if (installer.platformId == kPlatformWindows95) {
        UINT length = GetWindowsDirectoryA(installer.wininitPath, kPathOffer);
        // An empty path schedules nothing rather than writing a stray wininit.ini.
        if (length == 0 || length >= kPathOffer ||
            !textAppend(installer.wininitPath, kPathBuffer, "\\wininit.ini"))
            installer.wininitPath[0] = 0;
    }
}
