// A silent upgrade while the old product runs: its files are in use, so the new ones
// wait for the restart, through the mechanism of each platform family.

#include "qmtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\Program Files\\Quellmark Up";

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The name behind the last backslash, in capitals.
std::string baseName(const std::string& path) {
    return upper(path.substr(path.rfind('\\') + 1));
}

class Upgrade : public ::testing::Test {
  protected:
    void TearDown() override {
        killProcesses("Quellmark.exe");
    }

    // An older version, running: the build's images with a tail that marks them.
    Process startOldVersion() {
        makeDirectories(kTarget);
        writeFile(joinPath(kTarget, "Quellmark.dll"), libraryImage() + "old version");
        writeFile(joinPath(kTarget, "Quellmark.exe"), launcherImage() + "old version");
        Process product = start("\"" + joinPath(kTarget, "Quellmark.exe") + "\"", kTarget);
        // The first window of a fresh prefix can take long on a loaded machine.
        EXPECT_TRUE(waitFor([] { return productStarts(kTarget).size() == 1; }, kDefaultTimeoutMs))
            << "the old version did not start";
        return product;
    }

    void upgrade() {
        ASSERT_EQ(runInstaller("/p:\"" + kTarget + "\" /s /m"), std::optional<DWORD>(0));
        EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage() + "old version");
        Sleep(2000);
        EXPECT_EQ(productStarts(kTarget).size(), 1u) << "started again over files in use";
    }

    // After the restart the new images are in place and nothing temporary is left.
    void expectNewVersionAfterRestart(Process& product) {
        product.kill();
        killProcesses("Quellmark.exe");
        restartWindows();
        EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), libraryImage());
        EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), launcherImage());
        EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty());
    }

    std::set<std::string> tempFilesLeft() {
        std::set<std::string> names;
        for (const std::string& name : listFiles(kTarget, "iz*.tmp"))
            names.insert(upper(name));
        return names;
    }
};

TEST_F(Upgrade, OnTheNtFamilyTheNewFilesArePendingMovesCarriedOutAtRestart) {
    Process product = startOldVersion();
    ASSERT_TRUE(product.running());
    ASSERT_NO_FATAL_FAILURE(upgrade());

    // One move per product file, from a temporary file that is all that is left.
    std::set<std::string> sources;
    std::set<std::string> targets;
    for (const auto& [source, destination] : pendingRenames()) {
        if (upper(destination).find(upper(kTarget)) == std::string::npos)
            continue;
        EXPECT_NE(upper(source).find(upper(kTarget) + "\\IZ"), std::string::npos) << source;
        sources.insert(baseName(source));
        targets.insert(baseName(destination));
    }
    EXPECT_EQ(targets, (std::set<std::string>{"QUELLMARK.DLL", "QUELLMARK.EXE"}));
    EXPECT_EQ(tempFilesLeft(), sources);

    expectNewVersionAfterRestart(product);
    EXPECT_TRUE(pendingRenames().empty());
}

TEST_F(Upgrade, OnThe95FamilyTheNewFilesAreRenameEntriesCarriedOutAtRestart) {
    setWindowsVersion("win98");
    Process product = startOldVersion();
    ASSERT_TRUE(product.running());
    ASSERT_NO_FATAL_FAILURE(upgrade());

    std::string wininit = joinPath(windowsDirectory(), "wininit.ini");
    char section[8192] = {};
    DWORD length = GetPrivateProfileSectionA("Rename", section, sizeof section, wininit.c_str());
    std::vector<std::string> entries;
    for (DWORD i = 0; i < length; i += static_cast<DWORD>(entries.back().size()) + 1)
        entries.emplace_back(section + i);
    ASSERT_EQ(entries.size(), 2u) << "the library, then the launcher";
    std::set<std::string> sources;
    const char* targets[] = {"Quellmark.dll", "Quellmark.exe"};
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t equals = entries[i].find('=');
        ASSERT_NE(equals, std::string::npos) << entries[i];
        std::string key = entries[i].substr(0, equals);
        std::string value = entries[i].substr(equals + 1);
        EXPECT_EQ(key, shortPath(joinPath(kTarget, targets[i])));
        // The short full path of a temporary file in the program directory.
        EXPECT_EQ(upper(value.substr(0, value.rfind('\\'))), upper(shortPath(kTarget)));
        sources.insert(baseName(value));
    }
    EXPECT_EQ(tempFilesLeft(), sources);
    EXPECT_TRUE(pendingRenames().empty());

    expectNewVersionAfterRestart(product);
}

} // namespace
