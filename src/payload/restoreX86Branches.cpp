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
    for (DWORD at = 0; length - at > 4;) {
        BYTE* operand = data + at + 1;
        if ((data[at] & 0xFE) != 0xE8) {
            passed = (passed << 1) & 7;
            ++at;
            continue;
        }
        // With one opcode passed over, `back` places back; its top byte lies in this operand.
        DWORD back = passed == 4 ? 3 : passed & 3;
        BOOL single = (passed & (passed - 1)) == 0;
        if (!isNearTop(operand[3]) || !single || (passed != 0 && isNearTop(operand[3 - back]))) {
            passed = ((passed << 1) | 1) & 7;
            ++at;
            continue;
        }
        DWORD next = at + 5;
        DWORD target = (operand[0] | operand[1] << 8 | operand[2] << 16 |
                        static_cast<DWORD>(operand[3]) << 24) -
                       next;
        // The converter flipped the bits up to that byte once when they came out near;
        // this operand's own byte there is not near, so once undoes it.
        DWORD shift = 24 - 8 * back;
        if (passed != 0 && isNearTop(static_cast<BYTE>(target >> shift)))
            target = (target ^ ((static_cast<DWORD>(1) << (shift + 8)) - 1)) - next;
        operand[0] = static_cast<BYTE>(target);
        operand[1] = static_cast<BYTE>(target >> 8);
        operand[2] = static_cast<BYTE>(target >> 16);
        operand[3] = (target >> 24 & 1) != 0 ? 0xFF : 0;
        passed = 0;
        at = next;
    }
}
