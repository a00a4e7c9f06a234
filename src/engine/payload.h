// payload.h: the two product images that the installer carries as RCDATA.
#pragma once

#include <windows.h>

// Points `data` and `size` at the image of resource `resourceId`; FALSE when it is missing.
BOOL findPayload(int resourceId, const void** data, DWORD* size);

// Writes image `resourceId` to a new temporary file "<prefix>XXXX.TMP" in programDir with
// one WriteFile and puts it in place as `target` (now or at the restart). FALSE when the
// image is missing, the temporary file could not be created or written in full, or it is
// neither in place nor recorded for the restart.
BOOL writePayload(int resourceId, const char* prefix, const char* target);
