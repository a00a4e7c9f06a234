// agreementText.cpp: the licence agreement shown before an interactive install.
// It is carried packed (see scripts/pack-text.py), which more than halves its share
// of the installer, and unpacked into the static buffer the dialog shows. Corrupt
// input cannot take the unpacking outside either buffer.
#include "agreementPacked.h"
#include "ui/ui.h"

static_assert(kAgreementLength + 1 == kAgreementBuffer, "the buffer holds the text exactly");

char agreementText[kAgreementBuffer];

const char* unpackAgreementText() {
    DWORD out = 0;
    DWORD in = 0;
    while (in < kAgreementPackedSize && out < kAgreementLength) {
        DWORD code = packedAgreement[in++];
        if (code < 0x80) {
            agreementText[out++] = static_cast<char>(code);
            continue;
        }
        if (in == kAgreementPackedSize)
            break;
        DWORD distance = ((code & 0x0F) << 8 | packedAgreement[in++]) + 1;
        DWORD length = ((code >> 4) & 0x07) + 3;
        if (distance > out)
            break;
        for (; length != 0 && out < kAgreementLength; --length, ++out)
            agreementText[out] = agreementText[out - distance];
    }
    agreementText[out] = 0;
    return agreementText;
}
