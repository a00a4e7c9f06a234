// Undoing the x86 branch converter: what xz's own encoder made of real images and of
// random bytes comes back byte for byte, and no data, however short, takes the routine
// outside the bytes it was given.
#include "payload/unpack.h"
#include "qmtest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace qmtest;

constexpr size_t kCanary = 16;

// Bytes that end where an inaccessible page begins, so that a read or write past them
// faults, behind canary bytes that show a write before them.
class FencedBytes {
  public:
    explicit FencedBytes(const std::string& bytes) : length_(bytes.size()) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const size_t page = system.dwPageSize;
        const size_t inner = (length_ + kCanary + page - 1) / page * page;
        base_ = static_cast<BYTE*>(
            VirtualAlloc(nullptr, inner + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_ == nullptr || !VirtualProtect(base_ + inner, page, PAGE_NOACCESS, &old)) {
            ADD_FAILURE() << "no fenced buffer: " << GetLastError();
            return;
        }
        data_ = base_ + inner - length_;
        std::memset(data_ - kCanary, '#', kCanary);
        std::memcpy(data_, bytes.data(), length_);
    }
    ~FencedBytes() {
        if (base_ != nullptr)
            VirtualFree(base_, 0, MEM_RELEASE);
    }
    FencedBytes(const FencedBytes&) = delete;
    FencedBytes& operator=(const FencedBytes&) = delete;

    BYTE* data() const {
        return data_;
    }
    std::string bytes() const {
        return std::string(reinterpret_cast<const char*>(data_), length_);
    }
    bool canaryWhole() const {
        return std::string(reinterpret_cast<const char*>(data_ - kCanary), kCanary) ==
               std::string(kCanary, '#');
    }

  private:
    size_t length_;
    BYTE* base_ = nullptr;
    BYTE* data_ = nullptr;
};

TEST(X86Branches, XzsConversionOfRealImagesAndRandomBytesIsUndoneByteForByte) {
    for (const char* name : {"combase.dll", "winver.exe", "random.bin", "branches.bin"}) {
        SCOPED_TRACE(name);
        const std::string original = readFile(joinPath(kX86Samples, name)).value_or("");
        const std::string converted =
            readFile(joinPath(kX86Samples, std::string(name) + ".x86")).value_or("");
        ASSERT_GT(original.size(), 4096u) << "no sample";
        ASSERT_EQ(converted.size(), original.size());
        ASSERT_NE(converted, original) << "the converter changed nothing in the sample";
        FencedBytes buffer(converted);
        ASSERT_NE(buffer.data(), nullptr);
        restoreX86Branches(buffer.data(), DWORD(original.size()));
        const std::string restored = buffer.bytes();
        size_t at = 0;
        while (at < original.size() && restored[at] == original[at])
            ++at;
        EXPECT_EQ(at, original.size()) << "first difference at byte " << at;
        EXPECT_TRUE(buffer.canaryWhole()) << "written before the data";
    }
}

// Nothing shorter than a call is converted; and whatever the length, the bytes around
// the data stay untouched (a read past its end faults).
TEST(X86Branches, NoLengthTakesItOutsideTheDataAndLessThanACallStaysAsItIs) {
    const std::string patterns[] = {
        std::string(16, '\xE8'), std::string("\xE8\0\0\0\0\xE8\xFF\xFF\xFF\xFF\xE9\0\0\0\0\0", 16),
        std::string("\xE9\xFF\xE8\0\xE8\0\0\xFF\xE9\0\xE8\xFF\xFF\0\xE8\0", 16)};
    for (const std::string& pattern : patterns) {
        for (size_t length = 0; length <= pattern.size(); ++length) {
            SCOPED_TRACE(length);
            FencedBytes buffer(pattern.substr(0, length));
            ASSERT_NE(buffer.data(), nullptr);
            restoreX86Branches(buffer.data(), DWORD(length));
            EXPECT_TRUE(buffer.canaryWhole()) << "written before the data";
            if (length < 5)
                EXPECT_EQ(buffer.bytes(), pattern.substr(0, length));
        }
    }
}

} // namespace
