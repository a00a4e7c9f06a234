// Unpacking a stored record: whole, it gives the text back; damaged anywhere, by a
// cut or a flipped bit, it is refused rather than give other data, and never writes past the buffer
// it was given.
#include "agreementPacked.h"
#include "payload/unpack.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr size_t kGuard = 64;

// Unpacks `record` into a buffer of `length` bytes followed by guard bytes.
bool unpack(const std::string& record, size_t length, std::string* text = nullptr) {
    std::string buffer(length + kGuard, '#');
    bool whole = unpackRecord(reinterpret_cast<const BYTE*>(record.data()), DWORD(record.size()),
                              reinterpret_cast<BYTE*>(&buffer[0]), DWORD(length)) != FALSE;
    EXPECT_EQ(buffer.substr(length), std::string(kGuard, '#')) << "written past the buffer";
    if (text)
        *text = buffer.substr(0, length);
    return whole;
}

const std::string kRecord(reinterpret_cast<const char*>(packedAgreement), kAgreementPackedSize);

TEST(Unpack, AWholeRecordGivesItsDataBackAndAWrongLengthIsRefused) {
    std::string text;
    ASSERT_TRUE(unpack(kRecord, kAgreementRecordLength, &text));
    EXPECT_EQ(crc32(reinterpret_cast<const BYTE*>(text.data()), DWORD(text.size())),
              DWORD(BYTE(kRecord[4]) | BYTE(kRecord[5]) << 8 | BYTE(kRecord[6]) << 16 |
                    DWORD(BYTE(kRecord[7])) << 24));
    EXPECT_EQ(crc32(reinterpret_cast<const BYTE*>("123456789"), 9), 0xCBF43926u);
    EXPECT_FALSE(unpack(kRecord, kAgreementRecordLength - 1));
    EXPECT_FALSE(unpack(kRecord, kAgreementRecordLength + 1));
}

TEST(Unpack, ACutRecordIsRefused) {
    for (size_t size = 0; size < kRecord.size(); size += size < 32 ? 1 : 37)
        EXPECT_FALSE(unpack(kRecord.substr(0, size), kAgreementRecordLength)) << "cut to " << size;
    EXPECT_FALSE(unpack(kRecord.substr(0, kRecord.size() - 1), kAgreementRecordLength));
}

// The dictionary size in the LZMA properties only bounds how far back the stream may
// reach, so a flip there can still give the very data: accepting that is right.
TEST(Unpack, ARecordWithAFlippedBitIsRefusedUnlessItStillGivesTheVeryData) {
    std::string original;
    ASSERT_TRUE(unpack(kRecord, kAgreementRecordLength, &original));
    for (size_t at = 0; at < kRecord.size(); at += at < 32 ? 1 : 29) {
        std::string damaged = kRecord, text;
        damaged[at] ^= char(1 << (at % 8));
        EXPECT_TRUE(!unpack(damaged, kAgreementRecordLength, &text) || text == original)
            << "bit " << at % 8 << " of byte " << at << " gave other data";
    }
}

} // namespace
