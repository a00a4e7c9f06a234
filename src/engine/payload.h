// payload.h: the two product images that the installer carries as RCDATA.
#pragma once

#include <windows.h>

// Points `data` and `size` at the image of resource `resourceId`; FALSE when it is missing.
BOOL findPayload(int resourceId, const void** data, DWORD* size);
