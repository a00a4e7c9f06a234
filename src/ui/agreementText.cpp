// agreementText.cpp: the licence agreement shown before an interactive install, and
// the long fixed messages carried behind it. Both are one packed record
// (payload/unpack.h), like the product images, unpacked once into a static buffer.
#include "agreementPacked.h"
#include "payload/unpack.h"
#include "ui/ui.h"

namespace {
// The record ends with its last message's NUL, and the agreement with the NUL behind it.
char texts[kAgreementRecordLength];
enum class Unpacked { NotYet, Whole, Damaged } unpacked;

BOOL unpackTexts() {
    if (unpacked == Unpacked::NotYet) {
        BYTE* bytes = reinterpret_cast<BYTE*>(texts);
        unpacked =
            unpackRecord(packedAgreement, kAgreementPackedSize, bytes, kAgreementRecordLength)
                ? Unpacked::Whole
                : Unpacked::Damaged;
    }
    return unpacked == Unpacked::Whole;
}
} // namespace

// Kept out of the record: it is what a damaged installer says instead.
const char coreFilesError[] =
    "Error when attempting to modify Quellmark core libraries, please uninstall your current "
    "version, rebooting afterwards if necessary, then try again.";

const char* unpackAgreementText() {
    // A damaged text is not shown in part: the dialog then shows nothing.
    return unpackTexts() ? texts : "";
}

const char* fixedText(DWORD offset) {
    return unpackTexts() ? texts + offset : coreFilesError;
}
