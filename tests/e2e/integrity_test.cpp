// A damaged download run as an upgrade: copies of the built installer with bits
// flipped in, or the file cut inside, the stored product images. Each must be refused
// by the loader, or fail with the core-libraries message and exit code 1 before it
// replaces anything: the earlier version and its settings stay byte for byte.
#include "facts.h"
#include "gui.h"
#include "qmtest.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\QM";
const std::string kDamaged = "C:\\damaged\\QM-Install.exe";
constexpr const char* kReport = "C:\\QMDebug.dat";
constexpr const char* kLibraryError =
    "Error when attempting to modify Quellmark core libraries, please uninstall your current "
    "version, rebooting afterwards if necessary, then try again.";

// File offset and size of RCDATA resource `id` in the PE image `bytes`, from its
// resource table; {0, 0} when it is not found.
std::pair<size_t, size_t> resourceSpan(const std::string& bytes, WORD id) {
    auto at = [&](size_t offset) { return bytes.data() + offset; };
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0));
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(at(dos->e_lfanew));
    auto offsetOf = [&](DWORD rva) -> size_t {
        auto section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress &&
                rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return 0;
    };
    size_t root =
        offsetOf(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress);
    // Type, then name, then the first language: the entry whose id matches, or any.
    auto find = [&](size_t directory, int wanted) -> DWORD {
        auto header = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(at(directory));
        auto entry = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY*>(header + 1);
        for (int i = 0; i < header->NumberOfNamedEntries + header->NumberOfIdEntries; ++i)
            if (wanted < 0 || (!entry[i].NameIsString && entry[i].Id == wanted))
                return entry[i].OffsetToData;
        return 0;
    };
    DWORD type = find(root, 10);
    DWORD name = type ? find(root + (type & 0x7FFFFFFF), id) : 0;
    DWORD language = name ? find(root + (name & 0x7FFFFFFF), -1) : 0;
    if (!language)
        return {0, 0};
    auto data = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY*>(at(root + language));
    return {offsetOf(data->OffsetToData), data->Size};
}

class Integrity : public ::testing::Test {
  protected:
    void SetUp() override {
        original_ = readFile(kInstaller).value_or("");
        library_ = resourceSpan(original_, IDR_LIBRARY_IMAGE);
        launcher_ = resourceSpan(original_, IDR_LAUNCHER_IMAGE);
        ASSERT_GT(library_.second, 16u) << "no library record in the resource table";
        ASSERT_GT(launcher_.second, 16u) << "no launcher record in the resource table";
        makeDirectories("C:\\damaged");
        // The earlier version: same sizes, other bytes; and the user's settings.
        earlierLibrary_ = libraryImage();
        earlierLauncher_ = launcherImage();
        earlierLibrary_.back() = 'L';
        earlierLauncher_.back() = 'E';
        makeDirectories(kTarget);
        writeFile(joinPath(kTarget, "Quellmark.dll"), earlierLibrary_);
        writeFile(joinPath(kTarget, "Quellmark.exe"), earlierLauncher_);
        writeFile(joinPath(kTarget, "Update.kvc"), "earlier settings");
        writeFile("C:\\new.kvc", "new settings");
    }

    // Runs `damaged` as a silent upgrade with an import and checks that it changed nothing.
    void expectRefused(const std::string& damaged, const std::string& what) {
        SCOPED_TRACE(what);
        writeFile(kDamaged, damaged);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::string line = std::string(kDamaged) + " /p:" + kTarget + " /m /s /i:C:\\new.kvc";
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, kStage,
                           &startup, &info)) {
            Process installer(info);
            gui::ShownMessage box;
            waitFor(
                [&] {
                    box = gui::waitForMessageBox(kCaption, installer.id(), 200);
                    return box || !installer.running();
                },
                kDefaultTimeoutMs);
            if (box) {
                EXPECT_EQ(box.text, kLibraryError);
                gui::answerMessageBox(box, IDOK);
            }
            EXPECT_EQ(installer.wait(), std::optional<DWORD>(1));
        } else {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT)) << "not refused by the loader";
        }
        EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.dll")), earlierLibrary_);
        EXPECT_EQ(readFile(joinPath(kTarget, "Quellmark.exe")), earlierLauncher_);
        EXPECT_EQ(readFile(joinPath(kTarget, "Update.kvc")), std::string("earlier settings"));
        EXPECT_TRUE(listFiles(kTarget, "iz*.tmp").empty()) << "a temporary file stays";
        EXPECT_FALSE(fileExists(kReport)) << "a fault report was written";
        killProcesses("notepad.exe");
        DeleteFileA(kReport);
    }

    std::string original_;
    std::pair<size_t, size_t> library_, launcher_;
    std::string earlierLibrary_, earlierLauncher_;
};

// Damage to the record's own fields: the length, the CRC-32 and the coder's settings.
TEST_F(Integrity, ACopyWithABitFlippedInARecordHeaderReplacesNothing) {
    for (size_t at : {size_t(1), size_t(6), size_t(8)}) {
        std::string damaged = original_;
        damaged[library_.first + at] ^= static_cast<char>(1 << (at % 8));
        expectRefused(damaged, "library byte " + std::to_string(at));
    }
}

TEST_F(Integrity, ACopyWithABitFlippedInAStoredStreamReplacesNothing) {
    const size_t size = library_.second;
    for (size_t at : {size_t(20), size / 2, size - 2}) {
        std::string damaged = original_;
        damaged[library_.first + at] ^= static_cast<char>(1 << (at % 8));
        expectRefused(damaged, "library byte " + std::to_string(at));
    }
    std::string damaged = original_;
    damaged[launcher_.first + launcher_.second / 2] ^= 0x10;
    expectRefused(damaged, "launcher's middle byte");
}

TEST_F(Integrity, ACopyCutInsideTheStoredImagesReplacesNothing) {
    const std::pair<size_t, size_t> first = std::min(library_, launcher_);
    const std::pair<size_t, size_t> second = std::max(library_, launcher_);
    for (size_t at : {first.first + 4, first.first + first.second / 2,
                      second.first + second.second / 2, second.first + second.second - 1})
        expectRefused(original_.substr(0, at), "cut at " + std::to_string(at));
}

} // namespace
