// unpackRecord.cpp: unpacks one record with the LZMA SDK's decoder and checks it.
// The whole output buffer serves as the decoder's dictionary, and its probability
// table is static, so nothing is allocated and nothing can fail for want of memory.
#include "payload/unpack.h"

#if QM_COMPRESS
#include "LzmaDec.h"
#endif

namespace {
DWORD readNumber(const BYTE* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

#if QM_COMPRESS
// LZMA's table: 1846 probabilities plus 768 for each literal context (2^(lc + lp)).
constexpr DWORD kProbabilityCount = 1846 + (768 << kMaxLiteralBits);
CLzmaProb probabilities[kProbabilityCount];

BOOL decode(const BYTE* packed, DWORD packedSize, BYTE* data, DWORD length) {
    constexpr DWORD kStreamStart = kRecordHeaderSize + LZMA_PROPS_SIZE;
    if (packedSize < kStreamStart)
        return FALSE;
    CLzmaDec state;
    LzmaDec_Construct(&state);
    // The static table instead of the SDK's allocator, which would need one in writable data.
    if (LzmaProps_Decode(&state.prop, packed + kRecordHeaderSize, LZMA_PROPS_SIZE) != SZ_OK ||
        state.prop.lc + state.prop.lp > kMaxLiteralBits)
        return FALSE;
    state.probs = probabilities;
    state.dic = data;
    state.dicBufSize = length;
    LzmaDec_Init(&state);
    SizeT streamSize = packedSize - kStreamStart;
    ELzmaStatus status;
    SRes result = LzmaDec_DecodeToDic(&state, length, packed + kStreamStart, &streamSize,
                                      LZMA_FINISH_END, &status);
    // The decoder stops at `length`; it may report that before it reads the end
    // marker. Short of `length` the stream is damaged; the CRC-32 judges the rest.
    return result == SZ_OK && state.dicPos == length &&
           (status == LZMA_STATUS_FINISHED_WITH_MARK ||
            status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
}
#else
BOOL decode(const BYTE* packed, DWORD packedSize, BYTE* data, DWORD length) {
    if (packedSize - kRecordHeaderSize != length)
        return FALSE;
    for (DWORD i = 0; i < length; ++i)
        data[i] = packed[kRecordHeaderSize + i];
    return TRUE;
}
#endif
} // namespace

BOOL unpackRecord(const BYTE* packed, DWORD packedSize, BYTE* data, DWORD length) {
    if (packedSize < kRecordHeaderSize)
        return FALSE;
    DWORD form = readNumber(packed);
    if ((form & ~kX86Converted) != length || !decode(packed, packedSize, data, length))
        return FALSE;
    if (form & kX86Converted)
        restoreX86Branches(data, length);
    return crc32(data, length) == readNumber(packed + 4);
}
