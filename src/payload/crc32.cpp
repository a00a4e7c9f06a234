// crc32.cpp: the common CRC-32, by a table built on first use. No library for the
// freestanding build offers it, and the 95 family has no system routine for it.
#include "payload/unpack.h"

namespace {
constexpr DWORD kPolynomial = 0xEDB88320;
constexpr DWORD kTableSize = 256;
DWORD table[kTableSize];
} // namespace

DWORD crc32(const BYTE* data, DWORD length) {
    // Entry 1 of a built table is never 0, so it tells whether the table is built.
    if (table[1] == 0)
        for (DWORD i = 0; i < kTableSize; ++i) {
            DWORD value = i;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1) ? (value >> 1) ^ kPolynomial : value >> 1;
            table[i] = value;
        }
    DWORD crc = 0xFFFFFFFF;
    for (DWORD i = 0; i < length; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
