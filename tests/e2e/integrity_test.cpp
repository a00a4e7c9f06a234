// A damaged download run as an upgrade: copies of the built installer with bits
// flipped in, or the file cut inside, the stored product images. Each must be refused
// by the loader, or fail with the core-libraries message and exit code 1 before it
// replaces anything: the earlier version and its settings stay byte for byte. The
// same holds for images stored through the x86 branch converter, which, whole, are
// written byte for byte.
#include "facts.h"
#include "gui.h"
#include "peImage.h"
#include "qmtest.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using namespace qmtest;

const std::string kTarget = "C:\\QM";
const std::string kDamaged = "C:\\damaged\\QM-Install.exe";
const std::string kConverted = "C:\\converted\\QM-Install.exe";
constexpr const char* kReport = "C:\\QMDebug.dat";
constexpr const char* kLibraryError =
    "Error when attempting to modify Quellmark core libraries, please uninstall your current "
    "version, rebooting afterwards if necessary, then try again.";

BOOL CALLBACK keepLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    *reinterpret_cast<WORD*>(found) = language;
    return FALSE;
}

// The language of the RCDATA resource `id` in the installer file `path`.
WORD recordLanguage(const std::string& path, WORD id) {
    WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module != nullptr) {
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(10), MAKEINTRESOURCEA(id), keepLanguage,
                               reinterpret_cast<LONG_PTR>(&language));
        FreeLibrary(module);
    }
    return language;
}

// Writes to kConverted the built installer with both images stored as scripts/pack.py
// --x86 packed them at build time, through the x86 branch converter.
void writeConvertedInstaller() {
    makeDirectories("C:\\converted");
    ASSERT_TRUE(CopyFileA(kInstaller, kConverted.c_str(), FALSE));
    const std::pair<WORD, const char*> records[] = {{IDR_LIBRARY_IMAGE, "Quellmark.dll.packed"},
                                                    {IDR_LAUNCHER_IMAGE, "Quellmark.exe.packed"}};
    WORD languages[2];
    for (int i = 0; i < 2; ++i)
        languages[i] = recordLanguage(kConverted, records[i].first);
    HANDLE update = BeginUpdateResourceA(kConverted.c_str(), FALSE);
    ASSERT_NE(update, nullptr) << GetLastError();
    for (int i = 0; i < 2; ++i) {
        std::string record = readFile(joinPath(kX86Samples, records[i].second)).value_or("");
        ASSERT_GT(record.size(), 16u) << records[i].second;
        ASSERT_TRUE(BYTE(record[3]) & 0x80) << records[i].second << " is not converted";
        ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(10),
                                    MAKEINTRESOURCEA(records[i].first), languages[i], record.data(),
                                    DWORD(record.size())));
    }
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE)) << GetLastError();
    PeImage image(readFile(kConverted).value_or(""));
    ASSERT_NE(image.nt, nullptr);
    for (const auto& [id, name] : records) {
        auto span = image.resourceSpan(id);
        EXPECT_TRUE(image.bytes.substr(span.first, span.second) ==
                    readFile(joinPath(kX86Samples, name)).value_or(""))
            << "the copy does not hold " << name;
    }
}

class Integrity : public ::testing::Test {
  protected:
    void SetUp() override {
        original_ = readFile(kInstaller).value_or("");
        PeImage image(original_);
        ASSERT_NE(image.nt, nullptr);
        library_ = image.resourceSpan(IDR_LIBRARY_IMAGE);
        launcher_ = image.resourceSpan(IDR_LAUNCHER_IMAGE);
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
    // A first install from it must not even leave the directory it would have made.
    EXPECT_EQ(runInstaller("/q /p:C:\\fresh /m", kDefaultTimeoutMs, kDamaged), 1u);
    EXPECT_FALSE(directoryExists("C:\\fresh"));
}

TEST_F(Integrity, ACopyCutInsideTheStoredImagesReplacesNothing) {
    const std::pair<size_t, size_t> first = std::min(library_, launcher_);
    const std::pair<size_t, size_t> second = std::max(library_, launcher_);
    for (size_t at : {first.first + 4, first.first + first.second / 2,
                      second.first + second.second / 2, second.first + second.second - 1})
        expectRefused(original_.substr(0, at), "cut at " + std::to_string(at));
}

TEST_F(Integrity, ImagesStoredThroughTheX86BranchConverterAreWrittenByteForByte) {
    ASSERT_NO_FATAL_FAILURE(writeConvertedInstaller());
    EXPECT_EQ(runInstaller("/q /p:" + kTarget + " /m /s", kDefaultTimeoutMs, kConverted),
              std::optional<DWORD>(0));
    // Compared whole, not printed: a difference would fill the log with the images.
    EXPECT_TRUE(readFile(joinPath(kTarget, "Quellmark.dll")) == libraryImage())
        << "Quellmark.dll is not the library image";
    EXPECT_TRUE(readFile(joinPath(kTarget, "Quellmark.exe")) == launcherImage())
        << "Quellmark.exe is not the launcher image";
}

// In the stream, and in the bit that says the stream holds the converted form.
TEST_F(Integrity, ACopyWithABitFlippedInAConvertedImageReplacesNothing) {
    ASSERT_NO_FATAL_FAILURE(writeConvertedInstaller());
    const std::string converted = readFile(kConverted).value_or("");
    PeImage image(converted);
    ASSERT_NE(image.nt, nullptr);
    const auto launcher = image.resourceSpan(IDR_LAUNCHER_IMAGE);
    const auto library = image.resourceSpan(IDR_LIBRARY_IMAGE);
    for (size_t at : {size_t(3), size_t(20), launcher.second / 2, launcher.second - 2}) {
        std::string damaged = converted;
        damaged[launcher.first + at] ^= static_cast<char>(at == 3 ? 0x80 : 1 << (at % 8));
        expectRefused(damaged, "launcher byte " + std::to_string(at));
    }
    std::string damaged = converted;
    damaged[library.first + library.second / 2] ^= 0x04;
    expectRefused(damaged, "library's middle byte");
}

} // namespace
