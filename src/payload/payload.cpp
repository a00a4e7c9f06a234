// payload.cpp: the product images, carried as RCDATA records in the installer itself.
#include "base/installLog.h"
#include "base/state.h"
#include "fileops/fileops.h"
#include "launcherImage.h"
#include "libraryImage.h"
#include "payload/payload.h"
#include "payload/unpack.h"
#include "resource.h"

namespace {
BYTE libraryImage[kLibraryImageLength];
BYTE launcherImage[kLauncherImageLength];
// Each image is unpacked once, when first asked for, and then kept.
BOOL libraryUnpacked;
BOOL launcherUnpacked;

BOOL unpackResource(int resourceId, BYTE* image, DWORD length) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10));
    if (resource == nullptr)
        return FALSE;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    if (loaded == nullptr)
        return FALSE;
    const BYTE* packed = static_cast<const BYTE*>(LockResource(loaded));
    return packed != nullptr &&
           unpackRecord(packed, SizeofResource(nullptr, resource), image, length);
}
} // namespace

BOOL findPayload(int resourceId, const void** data, DWORD* size) {
    BOOL library = resourceId == IDR_LIBRARY_IMAGE;
    if (!library && resourceId != IDR_LAUNCHER_IMAGE)
        return FALSE;
    BYTE* image = library ? libraryImage : launcherImage;
    DWORD length = library ? kLibraryImageLength : kLauncherImageLength;
    BOOL* unpacked = library ? &libraryUnpacked : &launcherUnpacked;
    if (!*unpacked)
        *unpacked = unpackResource(resourceId, image, length);
    if (!*unpacked)
        return FALSE;
    *data = image;
    *size = length;
    return TRUE;
}

BOOL unpackPayloads() {
    const void* data;
    DWORD size;
    return findPayload(IDR_LIBRARY_IMAGE, &data, &size) &&
           findPayload(IDR_LAUNCHER_IMAGE, &data, &size);
}

BOOL writePayload(int resourceId, const char* prefix, const char* target) {
    const void* data = nullptr;
    DWORD size = 0;
    DWORD error = ERROR_INVALID_DATA;
    if (findPayload(resourceId, &data, &size)) {
        makeTempName(prefix);
        HANDLE file = CreateFileA(installer.tempFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (file != INVALID_HANDLE_VALUE) {
            DWORD count = 0;
            error = ERROR_SUCCESS;
            if (!WriteFile(file, data, size, &count, nullptr))
                error = GetLastError();
            else if (count != size) // a cut image is as bad as none
                error = ERROR_DISK_FULL;
            CloseHandle(file);
        }
        // Without a temporary file its failure is logged already.
        if (installer.tempFileName[0] != 0) {
            logFile("wrote", installer.tempFileName, nullptr, asFailure(error));
            // A cut image must not stay behind, holding the space of a full disk.
            if (error != ERROR_SUCCESS)
                DeleteFileA(installer.tempFileName);
        }
    }
    // Neither in place nor recorded for the restart is as bad as not written.
    return error == ERROR_SUCCESS && replaceOrSchedule(installer.tempFileName, target);
}
