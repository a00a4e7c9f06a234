// A signed installer at work: the Authenticode certificate table appended to the file
// must not disturb the payload lookup, its integrity check or the uninstaller copy.
// tests/scripts/signing-test.sh signs a copy with a throwaway CA, runs this case on it
// and verifies the system copy that this case hands back.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace qmtest;
using namespace qmtest::gui;

constexpr const char* kSigned = "C:\\signed\\QM-Install.exe";
// Where the uninstall dialog looks by default.
const std::string kTarget = kDefaultDir;

TEST(SignedInstaller, InstallsAndUninstallsWithTheSignatureInPlace) {
    const char* signedCopy = std::getenv("QM_SIGNED_INSTALLER");
    const char* exportPath = std::getenv("QM_SIGNED_SYSTEM_COPY");
    if (signedCopy == nullptr || exportPath == nullptr)
        GTEST_SKIP() << "run by the Signing test, which signs a copy first";
    std::optional<std::string> signedBytes = readFile(signedCopy);
    ASSERT_TRUE(signedBytes) << signedCopy;
    ASSERT_GT(signedBytes->size(), readFile(kInstaller).value_or("").size()) << "not signed";
    makeDirectories("C:\\signed");
    writeFile(kSigned, *signedBytes);

    ASSERT_EQ(runInstaller("/p:\"" + kTarget + "\" /m", kDefaultTimeoutMs, kSigned),
              std::optional<DWORD>(0));
    killProcesses("Quellmark.exe");
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
    EXPECT_EQ(readFile(uninstallerCopy()), signedBytes) << "the system copy is not the signed file";
    // Handed back for osslsigncode, which runs outside the prefix.
    writeFile(exportPath, readFile(uninstallerCopy()).value_or(""));

    Process uninstaller = start("\"" + uninstallerCopy() + "\" /die", kStage);
    HWND dialog = waitForWindow(kDialogClass, kTitle, uninstaller.id());
    ASSERT_TRUE(dialog != nullptr && waitVisible(dialog)) << "no uninstall dialog";
    pressButton(dialog, IDOK);
    ASSERT_NO_FATAL_FAILURE(answerNextMessageBox(kCaption, uninstaller.id(),
                                                 "Do you want to remove your Quellmark", IDNO));
    ASSERT_NO_FATAL_FAILURE(
        answerNextMessageBox(kCaption, uninstaller.id(), "While uninstalling", IDNO));
    ASSERT_NO_FATAL_FAILURE(
        answerNextMessageBox(kCaption, uninstaller.id(), "Uninstallation complete", IDOK));
    EXPECT_EQ(uninstaller.wait(), std::optional<DWORD>(0));
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.dll")));
    EXPECT_FALSE(fileExists(joinPath(kTarget, "Quellmark.exe")));
}

} // namespace
