// A Japanese user's silent install into C:\ソフト\表, whose last character ends in the
// backslash byte (95 5C in code page 932), and the uninstall from there. Run in the
// Japanese locale (tests/CMakeLists.txt), so the path arrives in code page 932.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace qmtest;
using namespace qmtest::gui;

const std::string kParent = std::string("C:\\") + "\x83\x5C" + "\x83\x74" + "\x83\x67"; // C:\ソフト
const std::string kHyo = "\x95\x5C";                                                    // 表
const std::string kTarget = kParent + "\\" + kHyo;

TEST(CodePage932Install, IntoADirectoryEndingIn0x5CAndTheUninstallFromThere) {
    ASSERT_EQ(GetACP(), 932u) << "not run in the Japanese locale";
    createKey(HKEY_CURRENT_USER, kProductKey);
    createKey(HKEY_LOCAL_MACHINE, kProductKey);
    makeDirectories(kParent);

    // Unquoted, as typed: every byte of the path reaches the switch scan.
    ASSERT_EQ(runInstaller("/p:" + kTarget), std::optional<DWORD>(0));
    ASSERT_TRUE(waitFor([] { return productStarts(kTarget).size() == 1; }, kDefaultTimeoutMs))
        << "the product was not started from the target";
    killProcesses("Quellmark.exe");
    DeleteFileA(joinPath(kTarget, "Quellmark.log").c_str());

    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
    EXPECT_EQ(listFiles(kParent), std::vector<std::string>{kHyo});
    EXPECT_EQ(stringValue(HKEY_CURRENT_USER, kProductKey, "AppPath"), kTarget);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath"), kTarget);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), kTarget);
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"),
              "\"" + kTarget + "\\Quellmark.exe\" /bt");

    Process uninstaller = startInstaller("/die");
    HWND dialog = waitForWindow(kDialogClass, kTitle, uninstaller.id());
    ASSERT_TRUE(dialog != nullptr && waitVisible(dialog)) << "no uninstall dialog";
    EXPECT_EQ(controlText(dialog, kPathEdit), kTarget);
    pressButton(dialog, IDOK);
    answerNextMessageBox(kCaption, uninstaller.id(),
                         "Do you want to remove your Quellmark configuration data?", IDNO);
    answerNextMessageBox(kCaption, uninstaller.id(), "While uninstalling some files were in use",
                         IDNO);
    answerNextMessageBox(kCaption, uninstaller.id(), "Uninstallation complete", IDOK);
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));

    EXPECT_FALSE(directoryExists(kTarget)) << ::testing::PrintToString(listFiles(kTarget));
    EXPECT_EQ(listFiles(kParent), std::vector<std::string>{});
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark"), "<absent>");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

} // namespace
