// The system directory as others read it: on 64-bit Windows the uninstaller copy is in
// the WOW64 directory, whatever this 32-bit program is told. Also run in a 64-bit prefix.
#include "base/state.h"
#include "fileops/fileops.h"

#include "qmtest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qmtest::joinPath;

std::string mapped(const std::string& path) {
    static char buffer[kPathBuffer];
    lstrcpyA(buffer, path.c_str());
    toRealSystemPath(buffer);
    return buffer;
}

std::string upper(std::string text) {
    CharUpperA(text.data());
    return text;
}

TEST(SystemDirectory, IsWhereThe32BitFilesReallyAre) {
    static char directory[kPathBuffer];
    ASSERT_TRUE(realSystemDirectory(directory));
    EXPECT_EQ(directory, qmtest::realSystemDirectory());
    if (qmtest::underWow64())
        EXPECT_NE(upper(directory), upper(qmtest::systemDirectory()));
}

TEST(SystemDirectory, OnlyPathsInsideItAreRewritten) {
    const std::string told = qmtest::systemDirectory();
    const std::string real = qmtest::realSystemDirectory();
    EXPECT_EQ(mapped(joinPath(told, "QM-Install.exe")), joinPath(real, "QM-Install.exe"));
    // Windows matches names without regard to case.
    EXPECT_EQ(mapped(joinPath(upper(told), "Sub\\QM-Install.exe")),
              joinPath(real, "Sub\\QM-Install.exe"));
    for (const std::string& elsewhere :
         {told + "x\\QM-Install.exe", told, std::string("C:\\qmtest\\QM-Install.exe"),
          std::string("QM-Install.exe"), joinPath(real, "QM-Install.exe")})
        EXPECT_EQ(mapped(elsewhere), elsewhere);
}

} // namespace
