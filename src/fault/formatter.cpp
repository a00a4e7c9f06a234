// formatter.cpp: Opt_wsprintfA, the fault report's own formatter. It calls nothing
// while formatting, so it is safe to use after any fault in our code.
#include "fault/fault.h"

#include <stdarg.h>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Ten digits hold the largest 32-bit number; filled from the right end.
char decimalScratch[10];

char* writeHex(char* out, DWORD value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        *out++ = kHexDigits[(value >> shift) & 0xF];
    return out;
}

// Every format of ours is a fixed text, so this only shows a programming error.
// The run is ending after a fault then: a failure, hence exit code 1.
[[noreturn]] void formatError() {
    MessageBoxA(nullptr, "Opt_wsprintfA error", "Quellmark", MB_OK);
    ExitProcess(1);
}

} // namespace

char* Opt_wsprintfA(char* destination, const char* format, ...) {
    va_list values;
    va_start(values, format);
    char* out = destination;
    for (char c = *format++; c != 0; c = *format++) {
        if (c != '%') {
            *out++ = c;
            continue;
        }
        char directive = *format++;
        if (directive == 's') {
            for (const char* text = va_arg(values, const char*); *text != 0; ++text)
                *out++ = *text;
        } else if (directive == 'u') {
            DWORD number = va_arg(values, DWORD);
            char* digit = decimalScratch + sizeof decimalScratch;
            do {
                *--digit = static_cast<char>('0' + number % 10);
                number /= 10;
            } while (number != 0);
            while (digit < decimalScratch + sizeof decimalScratch)
                *out++ = *digit++;
        } else if (directive == 'X') {
            out = writeHex(out, va_arg(values, DWORD), 8);
        } else if (directive == 'B') {
            out = writeHex(out, va_arg(values, DWORD), 2);
        } else if (directive == '%') {
            *out++ = '%';
        } else {
            formatError();
        }
    }
    *out = 0;
    va_end(values);
    return out;
}
