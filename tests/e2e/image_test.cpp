// The built installer as Windows sees it: a 32-bit GUI image that the 95 family
// loads, importing only from the system DLLs it may rely on.
#include "peImage.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(InstallerImage, IsA32BitGuiImageThatTheWindows95FamilyLoads) {
    qmtest::PeImage image(qmtest::readFile(qmtest::kInstaller).value_or(""));
    ASSERT_NE(image.nt, nullptr);
    EXPECT_EQ(image.nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(image.nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(image.nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(image.nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(image.nt->OptionalHeader.MajorSubsystemVersion, 4);
    EXPECT_EQ(image.nt->OptionalHeader.MinorSubsystemVersion, 0);
}

TEST(InstallerImage, ImportsOnlyFromTheAllowedSystemDlls) {
    qmtest::PeImage image(qmtest::readFile(qmtest::kInstaller).value_or(""));
    ASSERT_NE(image.nt, nullptr);
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL",
                                           "SHELL32.DLL",  "OLE32.DLL",  "COMCTL32.DLL"};
    std::set<std::string> imported = image.importedDlls();
    EXPECT_TRUE(imported.count("KERNEL32.DLL"));
    for (const std::string& dll : imported)
        EXPECT_TRUE(allowed.count(dll)) << dll << " is imported";
}

} // namespace
