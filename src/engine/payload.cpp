// payload.cpp: the product images, carried as RCDATA in the installer itself.
#include "engine/payload.h"
#include "fileops/fileops.h"
#include "startup/state.h"

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

BOOL writePayload(int resourceId, const char* prefix, const char* target) {
    const void* data = nullptr;
    DWORD size = 0;
    BOOL written = FALSE;
    if (findPayload(resourceId, &data, &size)) {
        makeTempName(prefix);
        HANDLE file = CreateFileA(installer.tempFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD count = 0;
            // A short write leaves a cut image: as bad as a failed one.
            written = WriteFile(file, data, size, &count, nullptr) && count == size;
            CloseHandle(file);
        }
        // A cut image must not stay behind, holding the space of a full disk.
        if (!written && installer.tempFileName[0] != 0)
            DeleteFileA(installer.tempFileName);
    }
    // Neither in place nor recorded for the restart is as bad as not written.
    return written && replaceOrSchedule(installer.tempFileName, target);
}
