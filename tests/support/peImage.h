// The built installer's file read as Windows' loader reads it: headers, sections,
// imports and the resource table. Only the 32-bit layout; a malformed file gives a
// null `nt` rather than a read past the bytes.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>

namespace qmtest {

struct PeImage {
    std::string bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;

    explicit PeImage(std::string fileBytes);

    // File offset of a relative virtual address, through the section table; 0 when
    // no section holds it.
    size_t offsetOf(DWORD rva) const;
    // Upper-case names of the DLLs in the import table.
    std::set<std::string> importedDlls() const;
    // File offset and size of RCDATA resource `id` (its first language); {0, 0} when absent.
    std::pair<size_t, size_t> resourceSpan(WORD id) const;
};

} // namespace qmtest
