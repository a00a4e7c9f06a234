// unpack.h: the record form in which the installer carries its product images and its
// agreement, and the routine that unpacks and checks one.
//
// Record (numbers little-endian), as scripts/pack.py writes it:
//   offset  size  field
//        0     4  bits 0-30: length of the unpacked data in bytes;
//                 bit 31: the stream holds the data after the x86 branch converter
//                 (xz's --x86, start offset 0), which unpacking undoes
//        4     4  CRC-32 of the unpacked data (reflected, polynomial 0xEDB88320)
//        8     5  LZMA properties: (pb * 5 + lp) * 9 + lc, then the dictionary size
//       13     -  LZMA stream, closed by its end marker
// Length and CRC-32 are those of the data as it was before any conversion. A build
// with QM_COMPRESS=0 carries the data itself from offset 8 instead.
#pragma once

#include <windows.h>

constexpr DWORD kRecordHeaderSize = 8;
constexpr DWORD kX86Converted = 0x80000000;
// The probability table is static: lc + lp above this the packer never chooses.
constexpr DWORD kMaxLiteralBits = 4;

// Unpacks `packed` (`packedSize` bytes) into `data`, which holds exactly `length`
// bytes. TRUE only when the record is whole, says `length`, and the unpacked data
// matches its CRC-32. Damaged input never takes it outside either buffer.
BOOL unpackRecord(const BYTE* packed, DWORD packedSize, BYTE* data, DWORD length);

// Undoes in place the x86 branch converter, which made the relative targets of the
// calls and jumps in `length` bytes at `data` absolute. Reads and writes only those bytes.
void restoreX86Branches(BYTE* data, DWORD length);

// The CRC-32 of `length` bytes at `data`.
DWORD crc32(const BYTE* data, DWORD length);
