// payload.cpp: the product images, carried as RCDATA in the installer itself.
#include "engine/payload.h"

BOOL findPayload(int resourceId, const void** data, DWORD* size) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10));
    if (resource == nullptr)
        return FALSE;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    DWORD length = SizeofResource(nullptr, resource);
    if (loaded == nullptr || length == 0)
        return FALSE;
    *data = LockResource(loaded);
    *size = length;
    return *data != nullptr;
}
