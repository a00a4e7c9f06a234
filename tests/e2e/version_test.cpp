// The version as Windows and the tools that deploy the installer read it: the version
// resource, the options dialog's title, the uninstall entry and the log. The Release
// test (tests/scripts/release-test.sh) runs these cases once more on a release built
// with another version.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace qmtest;

struct Version {
    unsigned major = QM_VERSION_MAJOR;
    unsigned minor = QM_VERSION_MINOR;
    unsigned build = QM_VERSION_BUILD;
    std::string shown() const {
        return std::to_string(major) + "." + std::to_string(minor);
    }
    std::string withBuild() const {
        return shown() + " Build " + std::to_string(build);
    }
    std::string full() const {
        return shown() + "." + std::to_string(build);
    }
};

// major.minor.build of the file's version resource, as inventory tools read it.
std::string resourceVersion(const std::string& file) {
    DWORD unused = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(file.c_str(), &unused));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (info.empty() || !GetFileVersionInfoA(file.c_str(), 0, DWORD(info.size()), info.data()) ||
        !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "<none>";
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS));
}

// The build's own installer and version, or those the Release test names:
// QM_RELEASE_INSTALLER (a path in the prefix) built with QM_RELEASE_VERSION.
Version expectedVersion() {
    Version version;
    if (const char* given = std::getenv("QM_RELEASE_VERSION"))
        EXPECT_EQ(std::sscanf(given, "%u.%u.%u", &version.major, &version.minor, &version.build), 3)
            << given;
    return version;
}

std::string installerUnderTest() {
    const char* given = std::getenv("QM_RELEASE_INSTALLER");
    if (given == nullptr)
        return kInstaller;
    // Copied in, as a user copies a download: the install copies itself from where it runs.
    const std::string copy = "C:\\release\\QM-Install.exe";
    makeDirectories("C:\\release");
    writeFile(copy, readFile(given).value_or(""));
    return copy;
}

TEST(Version, TheResourceCarriesTheVersionTheProductAndItsMaker) {
    const std::string installer = installerUnderTest();
    const Version version = expectedVersion();
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(installer.c_str(), &unused);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(installer.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, DWORD(VS_FFI_SIGNATURE));
    const DWORD high = MAKELONG(version.minor, version.major);
    const DWORD low = MAKELONG(0, version.build);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "flagged debug or pre-release";

    // One language and code page, and the strings are found through it.
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 2 * sizeof(WORD));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1252);
    char block[64];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04X%04X\\", translation[0],
                  translation[1]);
    EXPECT_STREQ(block, "\\StringFileInfo\\040904E4\\");

    const std::vector<std::pair<std::string, std::string>> strings = {
        {"CompanyName", "Quellmark"},
        {"FileDescription", "Quellmark Installer"},
        {"FileVersion", version.shown() + "." + std::to_string(version.build) + ".0"},
        {"InternalName", "QM-Install"},
        {"LegalCopyright", "Copyright (C) Quellmark"},
        {"OriginalFilename", "QM-Install.exe"},
        {"ProductName", "Quellmark"},
        {"ProductVersion", version.withBuild()},
    };
    for (const auto& [name, text] : strings) {
        char* value = nullptr;
        EXPECT_TRUE(VerQueryValueA(info.data(), (block + name).c_str(),
                                   reinterpret_cast<void**>(&value), &length) &&
                    value != nullptr && text == value)
            << name << " is \"" << (value ? value : "<absent>") << "\", not \"" << text << "\"";
    }
}

TEST(Version, TheDialogTheUninstallEntryAndTheLogShowTheVersion) {
    const std::string installer = installerUnderTest();
    const Version version = expectedVersion();

    Process dialogRun = startInstaller("", kStage, installer);
    const std::string title = "Quellmark v" + version.withBuild() + " Installer";
    HWND dialog = gui::waitForWindow(gui::kDialogClass, title, dialogRun.id());
    ASSERT_TRUE(dialog != nullptr) << "no options dialog titled \"" << title << "\"";
    gui::pressButton(dialog, kExitButton);
    EXPECT_EQ(dialogRun.wait(), std::optional<DWORD>(0));

    const std::string log = "C:\\qmtest\\version.log";
    ASSERT_EQ(runInstaller("/q /m /l:" + log, kDefaultTimeoutMs, installer),
              std::optional<DWORD>(0));
    killProcesses("Quellmark.exe");
    // Whole: two builds of one version must not look alike to a package manager.
    EXPECT_EQ(resourceVersion(installer), version.full());
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"),
              resourceVersion(installer));
    for (const auto& [name, number] :
         {std::pair<const char*, DWORD>{"VersionMajor", version.major},
          std::pair<const char*, DWORD>{"VersionMinor", version.minor}}) {
        auto value = readValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
        EXPECT_TRUE(value && value->type == REG_DWORD &&
                    value->data == std::string(reinterpret_cast<const char*>(&number), 4))
            << name;
    }
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"), "Quellmark");
    const std::string text = readFile(log).value_or("");
    EXPECT_NE(text.find("Quellmark v" + version.withBuild() + " installer"), std::string::npos)
        << text;
    EXPECT_NE(text.find("start: version " + version.withBuild() + ";"), std::string::npos) << text;
}

} // namespace
