// payload.h: the two product images that the installer carries as RCDATA records
// (the form is in payload/unpack.h), unpacked and checked into static buffers.
#pragma once

#include <windows.h>

// Points `data` and `size` at the unpacked image of resource `resourceId`, unpacking
// and checking it on first use; FALSE when it is missing or damaged.
BOOL findPayload(int resourceId, const void** data, DWORD* size);

// Unpacks and checks both images; FALSE when either is missing or damaged.
BOOL unpackPayloads();

// Writes image `resourceId` to a new temporary file "<prefix>XXXX.TMP" in programDir with
// one WriteFile and puts it in place as `target` (now or at the restart). FALSE when the
// image is missing or damaged, the temporary file could not be created or written in full,
// or it is neither in place nor recorded for the restart.
BOOL writePayload(int resourceId, const char* prefix, const char* target);
