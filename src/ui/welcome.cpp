// welcome.cpp: the welcome text and the word wrap it goes through.
#include "base/state.h"
#include "ui/ui.h"

namespace {

constexpr char kProductName[] = "Quellmark";

// Every backslash stands for the product name.
constexpr char welcomeTemplate[] =
    "In a moment \\ will load and begin removing adverts from web pages you visit.  Note that \\ "
    "will not require any configuration before it starts working, we've designed it so that it "
    "will deal with most adverts by default.\r\n\r\n"
    "Of course for those who like to tinker we've included options to deal with almost anything, "
    "to see these just click on the \\ icon (the smiley cow face) on the bottom right of your "
    "screen.\r\n\r\n"
    "Thank you for installing \\, now sit back and enjoy advert free browsing!\r\n\r\n"
    "        - Calderwick (\\ Programmer)\r\n";

constexpr DWORD kWelcomeWorkBuffer = 703;

// Replaces each placeholder; stops short of `capacity` whatever the template holds.
constexpr void buildInto(char* destination, DWORD capacity) {
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

// The size the built and the wrapped welcome text take, proved while compiling.
struct WelcomeSizes {
    DWORD built;
    DWORD wrapped;
};

constexpr WelcomeSizes measureWelcome() {
    char built[kWelcomeWorkBuffer + 1] = {};
    buildInto(built, sizeof built);
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
    buildInto(built, kWelcomeWorkBuffer);
    wrapInto(built, welcomeText, kWelcomeColumns);
}

void wrapText(const char* source, char* destination, DWORD columnLimit) {
    wrapInto(source, destination, columnLimit);
}
