// restoreX86Branches.cpp: the decoding side of the x86 branch converter.
//
// The converter turns the operand of a call or jump (E8 or E9, then four bytes) into
// its absolute target, operand plus the address of the next instruction, taking the
// data's first byte as address 0. It takes only operands whose top byte is 00 or FF, as
// a near target's is, and gives the result the top byte 00 or FF after its bit 24. An
// opcode it passed over in the three bytes before another decides whether that one is
// taken, and a result that would mislead that decision is altered: both are undone here.
#include "payload/unpack.h"

namespace {
// The top byte of a target at most 16 MiB forward or back.
BOOL isNearTop(BYTE value) {
    return value == 0 || value == 0xFF;
}
} // namespace

void restoreX86Branches(BYTE* data, DWORD length) {
    // Bit k - 1 set: the byte k places back (k = 1 to 3) is an opcode passed over.
    DWORD passed = 0;
    // `at` never passes `length`, so the subtraction cannot wrap.
    for (DWORD at = 0; length - at > 4; ++at) {
        BYTE* operand = data + at + 1;
        BOOL opcode = (data[at] & 0xFE) == 0xE8;
        // One opcode passed over, 1, 2 or 3 places back, has its top byte in this
        // operand, as byte 2, 1 or 0.
        DWORD overlap = (2 - (passed >> 1)) & 3;
        if (!opcode || !isNearTop(operand[3]) || (passed & (passed - 1)) != 0 ||
            (passed != 0 && isNearTop(operand[overlap]))) {
            passed = ((passed << 1) | opcode) & 7;
            continue;
        }
        DWORD next = at + 5;
        DWORD target;
        __builtin_memcpy(&target, operand, 4);
        target -= next;
        // When the result's byte there came out 00 or FF, the converter flipped it and
        // the bits below and converted again; this operand's own byte there is neither,
        // so one step back undoes it.
        DWORD shift = 8 * overlap;
        if (passed != 0 && isNearTop(static_cast<BYTE>(target >> shift)))
            target = (target ^ ((static_cast<DWORD>(1) << (shift + 8)) - 1)) - next;
        // The top byte follows bit 24: 00 or FF.
        target = static_cast<DWORD>(static_cast<LONG>(target << 7) >> 7);
        __builtin_memcpy(operand, &target, 4);
        passed = 0;
        at += 4;
    }
}
