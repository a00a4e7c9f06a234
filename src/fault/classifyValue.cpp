// classifyValue.cpp: the image ranges and the section label of every reported value.
#include "fault/fault.h"

// The linker's symbol for our own image's DOS header, in the installer and in any
// other executable that links these objects. Declared as bytes of unknown extent:
// the headers lie beyond the DOS header, and the compiler must not think otherwise.
extern "C" const BYTE __ImageBase[];

namespace {

ImageRanges ranges;
bool rangesKnown;

constexpr unsigned char kCallOpcode = 0xE8;
constexpr unsigned char kPushOpcode = 0x68;

bool inRange(DWORD value, DWORD base, DWORD end) {
    return value >= base && value < end;
}

// The call of a frame opening: `value` is just behind its rel32, and the call's
// target is a push of faultHandler right behind the name's terminator.
bool isFrameName(DWORD value) {
    const unsigned char* name = reinterpret_cast<const unsigned char*>(value);
    if (!readable(name - 4, 32) || !readable(name - 5, 1) || name[-5] != kCallOpcode)
        return false;
    DWORD displacement = *reinterpret_cast<const DWORD UNALIGNED*>(name - 4);
    // The terminator, the push opcode and its operand: 6 bytes from just before the target.
    const unsigned char* push = reinterpret_cast<const unsigned char*>(value + displacement - 1);
    if (!readable(push, 6))
        return false;
    return push[0] == kFrameNameKey && push[1] == kPushOpcode &&
           *reinterpret_cast<const DWORD UNALIGNED*>(push + 2) ==
               reinterpret_cast<DWORD>(&faultHandler);
}

} // namespace

// The first code section is the code; the sections after it up to the first
// zero-filled one are the initialized data; that one is the uninitialized data.
// The installer calls its imports through the import table (call *__imp_X), so its
// code section holds no import jump stubs.
const ImageRanges& imageRanges() {
    if (rangesKnown)
        return ranges;
    const BYTE* base = __ImageBase;
    const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    bool codeFound = false;
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        DWORD start = reinterpret_cast<DWORD>(base) + section->VirtualAddress;
        DWORD end = start + section->Misc.VirtualSize;
        if (!codeFound) {
            if ((section->Characteristics & IMAGE_SCN_CNT_CODE) != 0) {
                ranges.codeBase = start;
                ranges.codeEnd = end;
                codeFound = true;
            }
        } else if ((section->Characteristics & IMAGE_SCN_CNT_UNINITIALIZED_DATA) != 0) {
            ranges.bssBase = start;
            ranges.bssEnd = end;
            break;
        } else if ((section->Characteristics & IMAGE_SCN_CNT_INITIALIZED_DATA) != 0) {
            if (ranges.dataBase == 0)
                ranges.dataBase = start;
            ranges.dataEnd = end;
        }
    }
    rangesKnown = true;
    return ranges;
}

DWORD unscrambleFrameName(const unsigned char* name, char* destination, DWORD limit) {
    DWORD length = 0;
    for (; length < limit && readable(name + length, 1); ++length) {
        char c = static_cast<char>(name[length] ^ kFrameNameKey);
        if (c == 0)
            break;
        destination[length] = c;
    }
    destination[length] = 0;
    return length;
}

DWORD classifyValue(DWORD value, char* label) {
    const ImageRanges& image = imageRanges();
    DWORD base = 0;
    const char* fixed = "";
    bool frameName = false;
    if (inRange(value, image.codeBase, image.codeEnd)) {
        base = image.codeBase;
        fixed = ".code";
        if (value == reinterpret_cast<DWORD>(&faultHandler)) {
            fixed = ".FTHandler";
        } else if (isFrameName(value)) {
            fixed = ".FT-";
            frameName = true;
        }
    } else if (inRange(value, image.dataBase, image.dataEnd)) {
        base = image.dataBase;
        fixed = ".data";
    } else if (inRange(value, image.bssBase, image.bssEnd)) {
        base = image.bssBase;
        fixed = ".data?";
    }
    char* end = label;
    while ((*end = *fixed++) != 0)
        ++end;
    // A real name is never longer; the cap keeps a look-alike within the label.
    if (frameName)
        unscrambleFrameName(reinterpret_cast<const unsigned char*>(value), end, kLongestFrameName);
    return base;
}
