// File replacement that survives files in use, its restart records, and the sweeps,
// run on real files: the installer's own routines against Wine's file system.
#include "base/state.h"
#include "fileops/fileops.h"

#include "qmtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using qmtest::fileExists;
using qmtest::joinPath;
using qmtest::readFile;
using qmtest::writeFile;

// Each test works in a directory of its own, made current as the engine would.
class FileOps : public ::testing::Test {
  protected:
    void SetUp() override {
        installer = InstallerState{};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::string("C:\\qmtest\\fileops\\") + info->name();
        qmtest::makeDirectories(dir_);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        lstrcpyA(installer.programDir, dir_.c_str());
    }
    void TearDown() override {
        release();
        SetCurrentDirectoryA(qmtest::kStage);
    }

    void release() {
        for (HANDLE handle : held_)
            CloseHandle(handle);
        held_.clear();
    }

    std::string path(const std::string& name) const {
        return joinPath(dir_, name);
    }

    // Opens `name` with no sharing, as a running program holds its image.
    void hold(const std::string& name) {
        HANDLE handle =
            CreateFileA(path(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << name;
        held_.push_back(handle);
    }

    void useWininit(const std::string& name) {
        installer.platformId = kPlatformWindows95;
        lstrcpyA(installer.wininitPath, path(name).c_str());
    }

    // The [Rename] entries as the profile calls see them.
    std::vector<std::string> renameEntries() const {
        std::vector<char> buffer(32768);
        DWORD length = GetPrivateProfileSectionA("Rename", buffer.data(), buffer.size(),
                                                 installer.wininitPath);
        std::vector<std::string> entries;
        for (DWORD i = 0; i < length;) {
            std::string entry(buffer.data() + i);
            entries.push_back(entry);
            i += entry.size() + 1;
        }
        return entries;
    }

    std::string dir_;
    std::vector<HANDLE> held_;
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A [Rename] section of deletion entries whose section form takes exactly `size` characters.
std::string renameSectionOfSize(size_t size) {
    std::string section = "[Rename]\r\n";
    size_t entry = 0;
    while (size > 0) {
        // Each entry counts its NUL; keep the last one long enough for its key and path.
        size_t take = size > 400 ? 200 : size > 200 ? size / 2 : size;
        std::string line = "NUL=C:\\PAD" + std::to_string(entry++) + "\\";
        line.append(take - 1 - line.size(), 'x');
        section += line + "\r\n";
        size -= take;
    }
    return section;
}

// ---- replacement and deletion ---------------------------------------------------

TEST_F(FileOps, ReplacesAFreeDestinationAtOnceAndDeletesTheSource) {
    writeFile(path("new.tmp"), "new content");
    writeFile(path("target.dll"), "old");
    installer.platformId = kPlatformNt;
    replaceOrSchedule("new.tmp", "target.dll");
    EXPECT_EQ(readFile(path("target.dll")).value_or(""), "new content");
    EXPECT_FALSE(fileExists(path("new.tmp")));
    EXPECT_EQ(installer.rebootNeeded, 0u);
}

// A folder of a listed name is not the product's file, and is not one in use either.
TEST_F(FileOps, DeletingAMissingFileOrAFolderChangesNothing) {
    installer.platformId = kPlatformNt;
    auto before = qmtest::pendingRenames();
    deleteOrSchedule("absent.dll");
    CreateDirectoryA(path("Quellmark.old").c_str(), nullptr);
    deleteOrSchedule("Quellmark.old");
    EXPECT_EQ(installer.rebootNeeded, 0u);
    EXPECT_EQ(qmtest::pendingRenames().size(), before.size());
    EXPECT_TRUE(qmtest::directoryExists(path("Quellmark.old")));
}

TEST_F(FileOps, OnTheNtFamilyADestinationInUseBecomesOnePendingMove) {
    writeFile(path("izd1.tmp"), "new");
    writeFile(path("Busy.dll"), "old");
    hold("Busy.dll");
    installer.platformId = kPlatformNt;
    auto before = qmtest::pendingRenames();
    EXPECT_TRUE(replaceOrSchedule("izd1.tmp", "Busy.dll"));
    EXPECT_EQ(installer.rebootNeeded, 1u);
    EXPECT_TRUE(fileExists(path("izd1.tmp"))) << "the source waits for the restart";
    release();
    EXPECT_EQ(readFile(path("Busy.dll")).value_or(""), "old");
    auto after = qmtest::pendingRenames();
    ASSERT_EQ(after.size(), before.size() + 1);
    // Wine records NT names (\??\C:\...): compare the ends.
    const auto& move = after.back();
    EXPECT_NE(upper(move.first).find(upper(path("izd1.tmp"))), std::string::npos) << move.first;
    EXPECT_NE(upper(move.second).find(upper(path("Busy.dll"))), std::string::npos) << move.second;
}

// Nothing in place and nothing recorded must not pass for a deferral.
TEST_F(FileOps, OnThe95FamilyWithNoWininitPathAFileInUseFailsTheOperation) {
    writeFile(path("izd3.tmp"), "new");
    writeFile(path("Busy.dll"), "old");
    hold("Busy.dll");
    writeFile(path("Old File.exe"), "x");
    SetFileAttributesA(path("Old File.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    installer.platformId = kPlatformWindows95;
    installer.wininitPath[0] = 0;
    EXPECT_FALSE(replaceOrSchedule("izd3.tmp", "Busy.dll"));
    EXPECT_FALSE(deleteOrSchedule("Old File.exe"));
    EXPECT_EQ(installer.rebootNeeded, 0u);
    SetFileAttributesA(path("Old File.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    release();
    EXPECT_EQ(readFile(path("Busy.dll")).value_or(""), "old");
    EXPECT_TRUE(fileExists(path("izd3.tmp")));

    // What needs no restart still succeeds there.
    EXPECT_TRUE(replaceOrSchedule("izd3.tmp", "Busy.dll"));
    EXPECT_EQ(readFile(path("Busy.dll")).value_or(""), "new");
    EXPECT_TRUE(deleteOrSchedule("absent.dll"));
}

TEST_F(FileOps, WithNoKnownPlatformAFailedCopyStillAsksForARestart) {
    writeFile(path("izd2.tmp"), "new");
    writeFile(path("Busy.dll"), "old");
    hold("Busy.dll");
    auto before = qmtest::pendingRenames();
    replaceOrSchedule("izd2.tmp", "Busy.dll");
    EXPECT_EQ(installer.rebootNeeded, 1u);
    EXPECT_EQ(qmtest::pendingRenames().size(), before.size());
}

// ---- [Rename] in wininit.ini, 95 family --------------------------------------

TEST_F(FileOps, AMissingOrEmptyWininitGetsExactlyTheOneNewEntry) {
    writeFile(path("izd1.tmp"), "new");
    writeFile(path("Quellmark.dll"), "old");
    hold("Quellmark.dll");
    useWininit("missing.ini");
    replaceOrSchedule("izd1.tmp", "Quellmark.dll");
    EXPECT_EQ(installer.rebootNeeded, 1u);
    std::string entry =
        qmtest::shortPath(path("Quellmark.dll")) + "=" + qmtest::shortPath(path("izd1.tmp"));
    EXPECT_EQ(renameEntries(), std::vector<std::string>{entry});

    // A read-only file refuses deletion with "access denied", as a file in use does.
    writeFile(path("Old File.exe"), "x");
    SetFileAttributesA(path("Old File.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    writeFile(path("empty.ini"), "");
    installer.rebootNeeded = 0;
    useWininit("empty.ini");
    deleteOrSchedule("Old File.exe");
    EXPECT_EQ(installer.rebootNeeded, 1u);
    EXPECT_EQ(renameEntries(),
              std::vector<std::string>{"NUL=" + qmtest::shortPath(path("Old File.exe"))});
    SetFileAttributesA(path("Old File.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOps, EntriesAreAppendedBehindEarlierOnesIncludingRepeatedNulKeys) {
    writeFile(path("wininit.ini"), "[Other]\r\nkeep=1\r\n[Rename]\r\nNUL=C:\\A.TMP\r\n"
                                   "NUL=C:\\B.TMP\r\nC:\\X.DLL=C:\\Y.TMP\r\n");
    useWininit("wininit.ini");
    writeFile(path("gone.exe"), "x");
    SetFileAttributesA(path("gone.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    deleteOrSchedule("gone.exe");
    SetFileAttributesA(path("gone.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    writeFile(path("ize1.tmp"), "new");
    writeFile(path("Quellmark.exe"), "old");
    hold("Quellmark.exe");
    replaceOrSchedule("ize1.tmp", "Quellmark.exe");
    // The same request again stands beside the first.
    replaceOrSchedule("ize1.tmp", "Quellmark.exe");
    std::string replace =
        qmtest::shortPath(path("Quellmark.exe")) + "=" + qmtest::shortPath(path("ize1.tmp"));
    std::vector<std::string> expected = {"NUL=C:\\A.TMP",
                                         "NUL=C:\\B.TMP",
                                         "C:\\X.DLL=C:\\Y.TMP",
                                         "NUL=" + qmtest::shortPath(path("gone.exe")),
                                         replace,
                                         replace};
    EXPECT_EQ(renameEntries(), expected);
    char keep[8] = {};
    GetPrivateProfileStringA("Other", "keep", "", keep, sizeof keep, installer.wininitPath);
    EXPECT_STREQ(keep, "1");
}

TEST_F(FileOps, ASectionOf6144CharactersTakesTheEntryAndOneMoreRefusesIt) {
    writeFile(path("src.tmp"), "new");
    writeFile(path("dst.dll"), "old");
    struct Case {
        size_t size;
        bool accepted;
    };
    for (Case c : {Case{6144, true}, Case{6145, false}, Case{9000, false}, Case{20000, false}}) {
        SCOPED_TRACE(c.size);
        std::string name = "wininit" + std::to_string(c.size) + ".ini";
        std::string original = renameSectionOfSize(c.size);
        writeFile(path(name), original);
        useWininit(name);
        installer.rebootNeeded = 0;
        std::vector<std::string> before = renameEntries();
        if (c.size <= 8000) {
            size_t counted = 0;
            for (const auto& entry : before)
                counted += entry.size() + 1;
            ASSERT_EQ(counted, c.size) << "the test's section is not the size it claims";
        }
        EXPECT_EQ(scheduleAtRestart("src.tmp", "dst.dll"), c.accepted ? TRUE : FALSE);
        if (c.accepted) {
            EXPECT_EQ(installer.rebootNeeded, 1u);
            std::vector<std::string> after = renameEntries();
            ASSERT_EQ(after.size(), before.size() + 1);
            EXPECT_EQ(after.back(), qmtest::shortPath(path("dst.dll")) + "=" +
                                        qmtest::shortPath(path("src.tmp")));
        } else {
            EXPECT_EQ(installer.rebootNeeded, 0u);
            EXPECT_EQ(readFile(path(name)).value_or(""), original) << "the file was rewritten";
        }
    }
}

TEST_F(FileOps, AnEntryThatDoesNotFitTheRoomLeftIsRefused) {
    // Paths that do not exist have no short form: their full paths go in as given.
    // Behind 6144 characters there is room for 2048 bytes: key, "=", value, two NULs.
    // (Wine resolves no full path beyond MAX_PATH, which refuses such entries earlier.)
    auto longPath = [](char tag, size_t length) {
        std::string text = std::string("C:\\") + tag;
        while (text.size() < length)
            text += text.size() % 100 == 50 ? '\\' : tag;
        return text;
    };
    struct Case {
        size_t keyLength; // 3: a deletion, key "NUL"
        size_t valueLength;
        bool accepted;
    };
    int index = 0;
    for (Case c : {Case{240, 250, true}, Case{3, 250, true}, Case{1000, 1046, false},
                   Case{3, 2043, false}, Case{2047, 2047, false}, Case{240, 2100, false}}) {
        SCOPED_TRACE(testing::Message() << c.keyLength << "+" << c.valueLength);
        std::string name = "wininit" + std::to_string(index++) + ".ini";
        std::string original = renameSectionOfSize(6144);
        writeFile(path(name), original);
        useWininit(name);
        installer.rebootNeeded = 0;
        std::string source = longPath('s', c.valueLength);
        std::string destination = longPath('d', c.keyLength);
        EXPECT_EQ(
            scheduleAtRestart(source.c_str(), c.keyLength == 3 ? nullptr : destination.c_str()),
            c.accepted ? TRUE : FALSE);
        if (c.accepted) {
            EXPECT_EQ(installer.rebootNeeded, 1u);
            std::string key = c.keyLength == 3 ? "NUL" : destination;
            EXPECT_EQ(renameEntries().back(), key + "=" + source);
        } else {
            EXPECT_EQ(installer.rebootNeeded, 0u);
            EXPECT_EQ(readFile(path(name)).value_or(""), original);
        }
    }
}

// ---- temporary files and sweeps ----------------------------------------------

TEST_F(FileOps, TemporaryFilesAreMadeEmptyInTheProgramDirectory) {
    SetCurrentDirectoryA(qmtest::kStage);
    makeTempName("izd");
    std::string first = installer.tempFileName;
    makeTempName("izd");
    std::string second = installer.tempFileName;
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_EQ(upper(name.substr(0, dir_.size() + 4)), upper(dir_ + "\\izd"));
        EXPECT_EQ(upper(name.substr(name.size() - 4)), ".TMP");
        EXPECT_EQ(readFile(name).value_or("missing"), "");
    }
    // Whatever name the platform picks, the sweep must know it for ours.
    for (const char* prefix : {"iza", "izd", "ize"})
        makeTempName(prefix);
    SetCurrentDirectoryA(dir_.c_str());
    cleanTempFiles();
    EXPECT_EQ(qmtest::listFiles(dir_), std::vector<std::string>{});
    lstrcpyA(installer.programDir, "C:\\no such directory");
    makeTempName("iza");
    EXPECT_STREQ(installer.tempFileName, "") << "a failed name must not point at an old file";
}

// "iz*.tmp" also matches through short names: ".iz1.tmp" as IZ1~1.TMP, "iz budget
// 2026.tmpl" as IZ_B~....TMP. Only names of our own form go, and never a folder.
TEST_F(FileOps, TheTemporarySweepDeletesOurLeftoversAndSparesTheRest) {
    for (const char* name :
         {"izd1.tmp", "IZE2A.TMP", "IzA0fFf.Tmp", "iza.tmp", "izfoo.tmp", "b.iz.tmp", ".iz1.tmp",
          ".izd.tmp", "other.tmp", "izd.txt", "izzy.tmp", "iz budget 2026.tmpl", "Izmir trip.TMP",
          "iz_report.tmp", "izd12345.tmp", "izd12.tmp.tmp"})
        writeFile(path(name), "x");
    CreateDirectoryA(path("iz.tmp").c_str(), nullptr);
    CreateDirectoryA(path("izd77.tmp").c_str(), nullptr);
    writeFile(path("izd3.tmp"), "x");
    hold("izd3.tmp");
    cleanTempFiles();
    std::vector<std::string> left = qmtest::listFiles(dir_);
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {
        ".iz1.tmp",     ".izd.tmp",      "Izmir trip.TMP", "b.iz.tmp",  "iz budget 2026.tmpl",
        "iz.tmp",       "iz_report.tmp", "iza.tmp",        "izd.txt",   "izd12.tmp.tmp",
        "izd12345.tmp", "izd3.tmp",      "izd77.tmp",      "izfoo.tmp", "izzy.tmp",
        "other.tmp"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

// "*.lnk" also matches "old links.lnkx" through its short name OLDLIN~1.LNK.
TEST_F(FileOps, DeletingShortcutsLeavesOtherFilesAlone) {
    for (const char* name : {"Quellmark.lnk", "Uninstall Quellmark.LNK", "Readme.txt",
                             "notes.lnk.txt", ".keep.lnk", "old links.lnkx"})
        writeFile(path(name), "x");
    CreateDirectoryA(path("Folder.lnk").c_str(), nullptr);
    deleteMatching("*.lnk");
    std::vector<std::string> left = qmtest::listFiles(dir_);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".keep.lnk", "Folder.lnk", "Readme.txt",
                                              "notes.lnk.txt", "old links.lnkx"}));
    deleteMatching("*.none");
    EXPECT_EQ(qmtest::listFiles(dir_).size(), 5u);
}

} // namespace
