// The uninstall steps on real directories: which directory an uninstall empties and removes.
#include "base/state.h"
#include "engine/engine.h"

#include "qmtest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qmtest::directoryExists;
using qmtest::fileExists;
using qmtest::joinPath;
using qmtest::makeDirectories;
using qmtest::writeFile;

class UninstallSteps : public ::testing::Test {
  protected:
    const std::string base = "C:\\qmtest\\uninstall";

    void SetUp() override {
        installer = InstallerState{};
        installer.platformId = kPlatformNt;
        installer.operation = kOperationUninstall;
    }
    void TearDown() override {
        SetCurrentDirectoryA(qmtest::kStage);
    }
};

// A typed relative path names the directory from where the uninstall started; the
// directory removed must be the one just emptied, not the same name under its parent.
TEST_F(UninstallSteps, ARelativePathRemovesTheDirectoryItEmptied) {
    const std::string program = joinPath(base, "Apps\\QM");
    const std::string lookalike = joinPath(base, "Apps\\Apps\\QM");
    makeDirectories(program);
    makeDirectories(lookalike);
    writeFile(joinPath(program, "Quellmark.exe"), "launcher");
    writeFile(joinPath(program, "QMHelp.hlp"), "help");
    ASSERT_TRUE(SetCurrentDirectoryA(base.c_str()));
    lstrcpyA(installer.programDir, "Apps\\QM");

    EXPECT_TRUE(runUninstallSteps());

    EXPECT_FALSE(fileExists(joinPath(program, "Quellmark.exe")));
    EXPECT_FALSE(directoryExists(program));
    EXPECT_TRUE(directoryExists(lookalike)) << "an empty directory of the same name went";
    EXPECT_EQ(installer.rebootNeeded, 0u);
}

} // namespace
