// The built installer as Windows sees it: a 32-bit GUI image that the 95 family
// loads, importing only from the system DLLs it may rely on.
#include "qmtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace {

struct Image {
    std::string bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;

    explicit Image(const std::string& path) : bytes(qmtest::readFile(path).value_or("")) {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
            return;
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
            size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
            return;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
    }

    // File offset of a relative virtual address, through the section table.
    size_t offsetOf(DWORD rva) const {
        auto section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return 0;
    }

    std::set<std::string> importedDlls() const {
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
};

TEST(InstallerImage, IsA32BitGuiImageThatTheWindows95FamilyLoads) {
    Image image(qmtest::kInstaller);
    ASSERT_NE(image.nt, nullptr);
    EXPECT_EQ(image.nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(image.nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(image.nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(image.nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(image.nt->OptionalHeader.MajorSubsystemVersion, 4);
    EXPECT_EQ(image.nt->OptionalHeader.MinorSubsystemVersion, 0);
}

TEST(InstallerImage, ImportsOnlyFromTheAllowedSystemDlls) {
    Image image(qmtest::kInstaller);
    ASSERT_NE(image.nt, nullptr);
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL",
                                           "SHELL32.DLL",  "OLE32.DLL",  "COMCTL32.DLL"};
    std::set<std::string> imported = image.importedDlls();
    EXPECT_TRUE(imported.count("KERNEL32.DLL"));
    for (const std::string& dll : imported)
        EXPECT_TRUE(allowed.count(dll)) << dll << " is imported";
}

} // namespace
