// dumpMemory.cpp: the memory dump under each register of the fault report.
#include "fault/fault.h"

namespace {

constexpr char kDumpLine[] = " %B %B %B %B %B %B %B %B-%B %B %B %B %B %B %B %B   %s\r\n";
constexpr DWORD kBytesPerLine = 16;
// Each "%B" becomes 2 characters and "%s" the 16-character text column.
static_assert(sizeof kDumpLine - 1 + kBytesPerLine - 2 == kDumpLineLength, "dump line width");
// Bytes below this would break the text column (tab, CR, LF ...): shown as ".".
constexpr unsigned char kFirstShownByte = 14;

char textColumn[kBytesPerLine + 1];

} // namespace

void dumpMemory(DWORD address, char* destination) {
    char* out = destination;
    *out = 0;
    for (DWORD line = 0; line < kDumpLines; ++line, address += kBytesPerLine) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(address);
        if (!readable(bytes, kBytesPerLine))
            break;
        for (DWORD i = 0; i < kBytesPerLine; ++i)
            textColumn[i] = static_cast<char>(bytes[i] < kFirstShownByte ? '.' : bytes[i]);
        textColumn[kBytesPerLine] = 0;
        out = Opt_wsprintfA(out, kDumpLine, bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                            bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10], bytes[11],
                            bytes[12], bytes[13], bytes[14], bytes[15], textColumn);
    }
}
