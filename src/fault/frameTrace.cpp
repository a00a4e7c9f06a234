// frameTrace.cpp: the two walks of the fault handler, over the frame chain and
// over the stack. Every read is tested first: after a fault, memory may hold anything.
#include "fault/fault.h"

namespace {

constexpr char kForeign[] = "[foreign]";
constexpr char kProgramLabel[] = "QM-Install";
constexpr DWORD kProgramLabelLimit = 32;
constexpr DWORD kEndOfChain = 0xFFFFFFFF;

// Own frames as their Name; nullptr stands for a foreign frame.
const unsigned char* frameEntries[kFrameEntries];
char frameTrace[kFrameTraceLength + 1];
DWORD traceLength;

char stackList[kStackListCapacity];
char stackLabel[kLabelCapacity];

void traceAppend(char c) {
    if (traceLength < kFrameTraceLength)
        frameTrace[traceLength++] = c;
}

void traceAppend(const char* text, DWORD limit) {
    for (DWORD i = 0; i < limit && text[i] != 0; ++i)
        traceAppend(text[i]);
}

// Unscrambles straight into the trace, one tested byte at a time.
void traceAppendName(const unsigned char* name) {
    for (; traceLength < kFrameTraceLength && readable(name, 1); ++name) {
        char c = static_cast<char>(*name ^ kFrameNameKey);
        if (c == 0)
            break;
        traceAppend(c);
    }
}

} // namespace

const char* buildFrameTrace(const void* establisherFrame) {
    DWORD entries = 0;
    const ProtectionFrame* record = static_cast<const ProtectionFrame*>(establisherFrame);
    while (entries < kFrameEntries && readable(record, sizeof record->Next)) {
        const unsigned char* name = nullptr;
        if (readable(record, sizeof *record) &&
            record->Handler == reinterpret_cast<const void*>(&faultHandler) &&
            readable(record->Name, 8))
            name = record->Name;
        frameEntries[entries++] = name;
        // The end marker is never readable; stopping at it spares a faulting probe.
        if (reinterpret_cast<DWORD>(record->Next) == kEndOfChain)
            break;
        record = record->Next;
    }

    traceLength = 0;
    traceAppend('[');
    traceAppend(kProgramLabel, kProgramLabelLimit);
    traceAppend(']');
    bool ownSeen = false;
    for (DWORD i = entries; i-- > 0;) {
        if (frameEntries[i] == nullptr) {
            // Foreign frames outside our outermost one are the platform's, not ours to show.
            if (!ownSeen)
                continue;
            traceAppend('.');
            traceAppend(kForeign, sizeof kForeign);
        } else {
            ownSeen = true;
            traceAppend('.');
            traceAppendName(frameEntries[i]);
        }
    }
    frameTrace[traceLength] = 0;
    return frameTrace;
}

const char* buildStackList(DWORD stackAddress) {
    char* out = stackList;
    char* end = stackList; // behind the last labelled line
    for (DWORD i = 0; i < kStackWords; ++i, stackAddress += 4) {
        const DWORD* word = reinterpret_cast<const DWORD*>(stackAddress);
        if (!readable(word, 4))
            break;
        DWORD value = *word;
        DWORD base = classifyValue(value, stackLabel);
        out = Opt_wsprintfA(out, " %X%s\r\n", value - base, stackLabel);
        if (stackLabel[0] != 0)
            end = out;
    }
    *end = 0;
    return stackList;
}
