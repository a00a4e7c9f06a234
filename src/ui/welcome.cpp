// welcome.cpp: the welcome text and the word wrap it goes through.
#include "agreementPacked.h"
#include "base/state.h"
#include "ui/ui.h"

namespace {

constexpr char kProductName[] = "Quellmark";

constexpr DWORD kWelcomeWorkBuffer = 703;

// Replaces each placeholder (a backslash stands for the product name); stops short
// of `capacity` whatever the template holds.
constexpr void buildInto(const char* welcomeTemplate, char* destination, DWORD capacity) {
    DWORD used = 0;
    for (const char* from = welcomeTemplate; *from != 0; ++from) {
        const char* piece = *from == '\\' ? kProductName : from;
        DWORD count = *from == '\\' ? sizeof kProductName - 1 : 1;
        for (DWORD i = 0; i < count && used + 1 < capacity; ++i)
            destination[used++] = piece[i];
    }
    destination[used] = 0;
}

// A remembered blank belongs to the current line only: a break never moves back
// across a line end or behind an earlier break, so every break makes progress.
constexpr void wrapInto(const char* source, char* destination, DWORD columnLimit) {
    // A hard break must leave at least one character on its line.
    if (columnLimit < 2)
        columnLimit = 2;
    DWORD column = 0;
    const char* behindBlank = nullptr;
    char* blankAt = nullptr;
    for (;;) {
        char copied = *source++;
        *destination++ = copied;
        if (copied == '\r' || copied == '\n') {
            column = 0;
            behindBlank = nullptr;
            continue;
        }
        if (copied == 0)
            return;
        if (copied == ' ') {
            behindBlank = source;
            blankAt = destination - 1;
        }
        if (++column < columnLimit)
            continue;
        if (behindBlank != nullptr) {
            source = behindBlank;
            destination = blankAt;
        } else {
            // No blank on the line: the character at the limit opens the next line.
            --source;
            --destination;
        }
        *destination++ = '\r';
        *destination++ = '\n';
        column = 0;
        behindBlank = nullptr;
    }
}

// The size the built and the wrapped welcome text take, proved while compiling. The
// template is carried packed (agreementText.cpp); a damaged record gives the far
// shorter core-files error instead.
struct WelcomeSizes {
    DWORD built;
    DWORD wrapped;
};

constexpr WelcomeSizes measureWelcome() {
    char built[kWelcomeWorkBuffer + 1] = {};
    buildInto(kPlainWelcomeTemplate, built, sizeof built);
    char wrapped[2 * kWelcomeBuffer] = {};
    wrapInto(built, wrapped, kWelcomeColumns);
    WelcomeSizes sizes = {0, 0};
    while (built[sizes.built] != 0)
        ++sizes.built;
    while (wrapped[sizes.wrapped] != 0)
        ++sizes.wrapped;
    sizes.built += 1;
    sizes.wrapped += 1;
    return sizes;
}

constexpr WelcomeSizes kWelcomeSizes = measureWelcome();
static_assert(kWelcomeSizes.built <= kWelcomeWorkBuffer, "built welcome text fits its buffer");
static_assert(kWelcomeSizes.wrapped <= kWelcomeBuffer, "wrapped welcome text fits welcomeText");

} // namespace

char welcomeText[kWelcomeBuffer];

void buildWelcomeText() {
    static char built[kWelcomeWorkBuffer];
    buildInto(fixedText(kTextWelcomeTemplate), built, kWelcomeWorkBuffer);
    wrapInto(built, welcomeText, kWelcomeColumns);
}

void wrapText(const char* source, char* destination, DWORD columnLimit) {
    wrapInto(source, destination, columnLimit);
}
