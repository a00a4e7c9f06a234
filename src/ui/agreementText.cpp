// agreementText.cpp: the licence agreement shown before an interactive install.
// It is carried as a packed record (payload/unpack.h), like the product images, and
// unpacked into the static buffer the dialog shows.
#include "agreementPacked.h"
#include "payload/unpack.h"
#include "ui/ui.h"

static_assert(kAgreementLength + 1 == kAgreementBuffer, "the buffer holds the text exactly");

char agreementText[kAgreementBuffer];

const char* unpackAgreementText() {
    BYTE* text = reinterpret_cast<BYTE*>(agreementText);
    // A damaged text is not shown in part: the dialog then shows nothing.
    if (!unpackRecord(packedAgreement, kAgreementPackedSize, text, kAgreementLength))
        agreementText[0] = 0;
    agreementText[kAgreementLength] = 0;
    return agreementText;
}
