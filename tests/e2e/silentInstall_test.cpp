// A silent install as a deployment script runs it: QM-Install.exe /p:<dir> and switches,
// judged by what it leaves on disk, in the registry and in the process list.
#include "gui.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\Program Files\\QM Target";
const std::string kProductKey = "Software\\Quellmark";
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kBrowserKey = "Software\\Microsoft\\Internet Explorer\\Main";
const std::string kAutostart = "\"" + kTarget + "\\Quellmark.exe\" /bt";

// A REG_SZ exactly as the installer must pass it: `text` and `terminated` decide the bytes.
RegValue sz(const std::string& text, bool terminated = true) {
    return RegValue{REG_SZ, terminated ? std::string(text.c_str(), text.size() + 1) : text};
}

void expectValue(HKEY root, const std::string& key, const std::string& name,
                 const std::optional<RegValue>& expected) {
    SCOPED_TRACE(key + "\\" + name);
    auto value = readValue(root, key, name);
    ASSERT_EQ(value.has_value(), expected.has_value());
    if (!value)
        return;
    EXPECT_EQ(value->type, expected->type);
    EXPECT_EQ(value->data, expected->data);
}

class SilentInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        // The product's own key is made by the product; the installer only fills it in.
        createKey(HKEY_CURRENT_USER, kProductKey);
        createKey(HKEY_CURRENT_USER, kBrowserKey);
    }
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }

    static std::string quoted(const std::string& path) {
        return "\"" + path + "\"";
    }

    // Runs a silent install into `target` and waits for the product it starts.
    void install(const std::string& arguments, const std::string& target = kTarget,
                 const std::string& installer = kInstaller) {
        auto exitCode =
            runInstaller("/p:" + quoted(target) + " " + arguments, kDefaultTimeoutMs, installer);
        ASSERT_EQ(exitCode, std::optional<DWORD>(0));
        ASSERT_TRUE(waitFor([&] { return productStarts(target).size() == 1; }, kDefaultTimeoutMs))
            << "the product was not started from " << target;
    }
};

TEST_F(SilentInstall, IntoANewDirectoryWritesFilesValuesAndStartsTheProductOnce) {
    writeString(HKEY_CURRENT_USER, kProductKey, "CCode", "site7");
    writeString(HKEY_CURRENT_USER, kProductKey, "DCC", "adv");
    writeString(HKEY_CURRENT_USER, kRunKey, "Quellmark", "C:\\old\\Quellmark.exe /bt");
    deleteKey(HKEY_LOCAL_MACHINE, kProductKey);
    writeFile(joinPath(systemDirectory(), "KVCstrings.dat"), "strings one");
    writeFile(joinPath(systemDirectory(), "KVQMstrings.dat"), "strings two");

    ASSERT_NO_FATAL_FAILURE(install(""));

    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage());
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
    EXPECT_EQ(libraryImage().size(), 427008u);
    EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty());
    EXPECT_EQ(readFile(joinPath(kTarget, "KVCstrings.dat")), "strings one");
    EXPECT_EQ(readFile(joinPath(kTarget, "KVQMstrings.dat")), "strings two");

    // QM-Install.exe carries no code: CCode stays; no /r: DCC goes.
    expectValue(HKEY_CURRENT_USER, kProductKey, "CCode", sz("site7"));
    expectValue(HKEY_CURRENT_USER, kProductKey, "DCC", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kProductKey, "AppPath", sz(kTarget));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kProductKey)) << "the machine key was created";
    // All users by default: the machine's Run key, and the user's old value is gone.
    expectValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", sz(kAutostart));
    expectValue(HKEY_CURRENT_USER, kRunKey, "Quellmark", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kBrowserKey, "Disable Script Debugger", sz("yes"));
    expectValue(HKEY_CURRENT_USER, kBrowserKey, "Error Dlg Displayed On Every Error", sz("no"));

    // Started by its full quoted path, and only once.
    Sleep(1000);
    auto starts = productStarts(kTarget);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_NE(starts[0].find(quoted(joinPath(kTarget, "Quellmark.exe"))), std::string::npos)
        << starts[0];
}

TEST_F(SilentInstall, SwitchesSetDccCurrentUserAutostartAndImportAnUpdateFile) {
    createKey(HKEY_LOCAL_MACHINE, kProductKey);
    writeString(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", "C:\\old\\Quellmark.exe /bt");
    writeFile(joinPath(systemDirectory(), "KVCstrings.dat"), "from the system");
    writeFile(joinPath(systemDirectory(), "KVQMstrings.dat"), "from the system too");
    // An upgrade: the user's own strings must survive.
    makeDirectories(kTarget);
    writeFile(joinPath(kTarget, "KVCstrings.dat"), "the user's own");
    writeFile("C:\\update source.kvc", "imported settings");

    ASSERT_NO_FATAL_FAILURE(install("/r /c /s /i:" + quoted("C:\\update source.kvc")));

    // DCC is the three letters, no terminator.
    expectValue(HKEY_CURRENT_USER, kProductKey, "DCC", sz("adv", false));
    expectValue(HKEY_LOCAL_MACHINE, kProductKey, "AppPath", sz(kTarget));
    expectValue(HKEY_CURRENT_USER, kRunKey, "Quellmark", sz(kAutostart));
    expectValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", std::nullopt);
    EXPECT_EQ(readFile(joinPath(kTarget, "KVCstrings.dat")), "the user's own");
    EXPECT_EQ(readFile(joinPath(kTarget, "KVQMstrings.dat")), "from the system too");
    EXPECT_EQ(readFile(joinPath(kTarget, "Update.kvc")), "imported settings");
    EXPECT_EQ(readFile("C:\\update source.kvc"), "imported settings");
    EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty());
}

TEST_F(SilentInstall, NoAutostartRemovesEarlierRunValuesFromBothHives) {
    writeString(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", "C:\\old\\Quellmark.exe /bt");
    writeString(HKEY_CURRENT_USER, kRunKey, "Quellmark", "C:\\old\\Quellmark.exe /bt");
    writeString(HKEY_CURRENT_USER, kRunKey, "Other", "other.exe");

    ASSERT_NO_FATAL_FAILURE(install("/m /s"));

    expectValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kRunKey, "Quellmark", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kRunKey, "Other", sz("other.exe"));
}

TEST_F(SilentInstall, ALockedImportFileIsSkippedAndTheInstallGoesOn) {
    makeDirectories(kTarget);
    writeFile(joinPath(kTarget, "Update.kvc"), "settings in use");
    writeFile("C:\\busy.kvc", "half written");
    // Still being written by someone else: held open without sharing.
    HANDLE busy = CreateFileA("C:\\busy.kvc", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);

    install("/s /m /i:C:\\busy.kvc");
    CloseHandle(busy);

    EXPECT_EQ(readFile(joinPath(kTarget, "Update.kvc")), "settings in use");
    EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
    EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty());
}

TEST_F(SilentInstall, TheCampaignCodeComesFromTheInstallersFileName) {
    writeString(HKEY_CURRENT_USER, kProductKey, "CCode", "before");
    struct Case {
        const char* fileName;
        std::optional<std::string> code; // nullopt: left as it was
    };
    int index = 0;
    for (Case c : {Case{"QM-c12345.exe", "12345"}, Case{"QM-C77.setup.exe", "77"},
                   Case{"QM-Install.exe", std::nullopt}, Case{"QM-c.exe", ""},
                   Case{"QMxc9.exe", std::nullopt}}) {
        SCOPED_TRACE(c.fileName);
        std::string copy = joinPath(kStage, c.fileName);
        if (copy != kInstaller)
            ASSERT_TRUE(CopyFileA(kInstaller, copy.c_str(), FALSE));
        std::string before = readValue(HKEY_CURRENT_USER, kProductKey, "CCode")->data;
        std::string target = "C:\\QM" + std::to_string(index++);
        ASSERT_NO_FATAL_FAILURE(install("/s /m", target, copy));
        auto value = readValue(HKEY_CURRENT_USER, kProductKey, "CCode");
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->data, c.code ? sz(*c.code).data : before);
        killProcesses("Quellmark.exe");
    }
}

TEST_F(SilentInstall, AMissingParentDirectoryIsReportedAndNothingIsWritten) {
    const std::string target = "C:\\No Such Parent\\Quellmark";
    Process installer = startInstaller("/p:" + quoted(target) + " /r");
    gui::ShownMessage box =
        gui::waitForMessageBox("Quellmark Installer", installer.id(), kDefaultTimeoutMs);
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(box.text,
              "Error when attempting to establish program directory, please check you have "
              "sufficient permissions to create the target directory and sufficient free "
              "space.");
    gui::answerMessageBox(box, IDOK);
    EXPECT_EQ(installer.wait(), std::optional<DWORD>(1));

    EXPECT_FALSE(directoryExists("C:\\No Such Parent"));
    expectValue(HKEY_CURRENT_USER, kProductKey, "AppPath", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kProductKey, "DCC", std::nullopt);
    expectValue(HKEY_LOCAL_MACHINE, kRunKey, "Quellmark", std::nullopt);
    expectValue(HKEY_CURRENT_USER, kRunKey, "Quellmark", std::nullopt);
    EXPECT_TRUE(productStarts(target).empty());
}

} // namespace
