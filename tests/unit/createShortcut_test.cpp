// createShortcut: shortcut files written through the shell's link object, read back
// through it, in a directory of their own.
#include "qmtest.h"
#include "shellLink.h"

#include "shortcuts/shortcut.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace qmtest;

class CreateShortcut : public ::testing::Test {
  protected:
    void SetUp() override {
        GetCurrentDirectoryA(sizeof saved_, saved_);
        directory_ = std::string(kStage) + "\\shortcuts-" + std::to_string(GetTickCount());
        makeDirectories(directory_);
        ASSERT_TRUE(SetCurrentDirectoryA(directory_.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(saved_);
    }

    std::string directory_;
    char saved_[MAX_PATH] = {};
};

TEST_F(CreateShortcut, RelativeNameLandsInTheCurrentDirectoryWithoutArguments) {
    createShortcut(kLauncherImage, "Launch.lnk", kLibraryImage, nullptr, 0);

    auto link = loadShellLink(joinPath(directory_, "Launch.lnk"));
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(lstrcmpiA(link->target.c_str(), kLauncherImage), 0) << link->target;
    EXPECT_EQ(link->arguments, "");
    EXPECT_EQ(lstrcmpiA(link->iconFile.c_str(), kLibraryImage), 0) << link->iconFile;
    EXPECT_EQ(link->iconIndex, 0);
}

TEST_F(CreateShortcut, FullNameLandsWhereItSaysAndCallsStandAlone) {
    std::string elsewhere = directory_ + "\\elsewhere";
    makeDirectories(elsewhere);
    std::string full = joinPath(elsewhere, "Guide.lnk");

    createShortcut(kLauncherImage, full.c_str(), kLibraryImage, "/help", 2);
    createShortcut(kInstaller, "Uninstall.lnk", kInstaller, "/die", 1);

    EXPECT_FALSE(fileExists(joinPath(directory_, "Guide.lnk")));
    auto guide = loadShellLink(full);
    ASSERT_TRUE(guide.has_value());
    EXPECT_EQ(guide->arguments, "/help");
    EXPECT_EQ(guide->iconIndex, 2);
    auto uninstall = loadShellLink(joinPath(directory_, "Uninstall.lnk"));
    ASSERT_TRUE(uninstall.has_value());
    EXPECT_EQ(uninstall->arguments, "/die");
    EXPECT_EQ(uninstall->iconIndex, 1);
}

// 259 characters fill the wide buffer with its terminator; one more must not be
// written under a cut name.
TEST_F(CreateShortcut, NameLongerThan259CharactersIsSkipped) {
    std::string folders = std::string(100, 'x') + "\\" + std::string(100, 'y');
    makeDirectories(joinPath(directory_, folders));
    std::string fits = folders + "\\" + std::string(259 - folders.size() - 5, 'f') + ".lnk";
    std::string tooLong = folders + "\\" + std::string(260 - folders.size() - 5, 'g') + ".lnk";
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(tooLong.size(), 260u);

    createShortcut(kLauncherImage, fits.c_str(), kLauncherImage, nullptr, 0);
    createShortcut(kLauncherImage, tooLong.c_str(), kLauncherImage, nullptr, 0);

    std::vector<std::string> written = listFiles(joinPath(directory_, folders));
    written.erase(std::remove_if(written.begin(), written.end(),
                                 [](const std::string& name) { return name[0] == '.'; }),
                  written.end());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0][0], 'f');
}

} // namespace
