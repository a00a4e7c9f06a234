#include "peImage.h"

#include <algorithm>
#include <cctype>

namespace qmtest {

PeImage::PeImage(std::string fileBytes) : bytes(std::move(fileBytes)) {
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
        return;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
        return;
    nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
}

size_t PeImage::offsetOf(DWORD rva) const {
    auto section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (rva >= section->VirtualAddress &&
            rva < section->VirtualAddress + section->Misc.VirtualSize)
            return rva - section->VirtualAddress + section->PointerToRawData;
    return 0;
}

std::set<std::string> PeImage::importedDlls() const {
    std::set<std::string> names;
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t offset = offsetOf(directory.VirtualAddress);
    for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(bytes.data() + offset);
        if (import->Name == 0)
            break;
        std::string name = bytes.data() + offsetOf(import->Name);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::toupper(c); });
        names.insert(name);
    }
    return names;
}

std::pair<size_t, size_t> PeImage::resourceSpan(WORD id) const {
    size_t root =
        offsetOf(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress);
    // Type, then name, then the first language: the entry whose id matches, or any.
    auto find = [&](size_t directory, int wanted) -> DWORD {
        auto header = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(bytes.data() + directory);
        auto entry = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(header + 1);
        for (int i = 0; i < header->NumberOfNamedEntries + header->NumberOfIdEntries; ++i)
            if (wanted < 0 || (!entry[i].NameIsString && entry[i].Id == wanted))
                return entry[i].OffsetToData;
        return 0;
    };
    DWORD type = find(root, 10); // RT_RCDATA
    DWORD name = type ? find(root + (type & 0x7FFFFFFF), id) : 0;
    DWORD language = name ? find(root + (name & 0x7FFFFFFF), -1) : 0;
    if (!language)
        return {0, 0};
    auto data = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY*>(bytes.data() + root + language);
    return {offsetOf(data->OffsetToData), data->Size};
}

} // namespace qmtest
