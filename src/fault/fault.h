// fault.h: the fault report, its formatter and what the fault handler gathers for it.
//
// Report layout (53 lines, CR LF each): the apology and the support address, the
// title, "Fault Section:" (frame trace), "Fault Offset:", the three image bases,
// "Time/Date:", nine register lines, nine "Bytes at" headings each followed by its
// memory dump, "Stack Trace:" and the stack list. A labelled value prints as 8 hex
// digits followed directly by its label (".code", ".data", ".data?", ".FTHandler",
// ".FT-<frame name>", or nothing outside the image).
#pragma once

#include <windows.h>

#include "fault/protectionFrame.h"

// Formats "%s", "%u", "%X", "%B" and "%%" with one 32-bit value per directive;
// returns the position of the terminator it wrote. The caller provides the room.
// Any other directive shows an error box and ends the process.
char* Opt_wsprintfA(char* destination, const char* format, ...);

// True when `size` bytes at `address` can be read; never faults, whatever memory holds.
bool readable(const void* address, DWORD size);

// Memory dump: up to 32 lines of 16 bytes, each line 69 characters.
constexpr DWORD kDumpLines = 32;
constexpr DWORD kDumpLineLength = 69;
constexpr DWORD kDumpCapacity = kDumpLines * kDumpLineLength + 1;
// Writes the dump of `address` to `destination` (kDumpCapacity bytes); stops before
// the first 16-byte block that is not readable, so it may be empty.
void dumpMemory(DWORD address, char* destination);

// Labels: the longest is ".FT-" and the longest frame name.
constexpr DWORD kLongestLabel = sizeof(".FT-") - 1 + kLongestFrameName;
constexpr DWORD kLabelCapacity = kLongestLabel + 1;
static_assert(kLongestLabel >= sizeof(".FTHandler") - 1, "every fixed label fits");

// The program's own image, from its section headers. Each range is [base, end).
struct ImageRanges {
    DWORD codeBase;
    DWORD codeEnd;
    DWORD dataBase;
    DWORD dataEnd;
    DWORD bssBase;
    DWORD bssEnd;
};
const ImageRanges& imageRanges();

// Label of `value` into `label` (kLabelCapacity bytes); returns the base that the
// value's offset is taken from (0 outside the image).
DWORD classifyValue(DWORD value, char* label);

// Unscrambles the stored frame name at `name` into `destination`, at most `limit`
// characters and a terminator; stops at the first byte that is not readable.
// Returns the characters written.
DWORD unscrambleFrameName(const unsigned char* name, char* destination, DWORD limit);

// "[QM-Install]" and the names of the active frames from the outermost inward, cut
// after kFrameTraceLength characters. Returns the handler's static text.
constexpr DWORD kFrameEntries = 128;
constexpr DWORD kFrameTraceLength = 2048;
const char* buildFrameTrace(const void* establisherFrame);

// One line per stack word from `stackAddress` upward, cut after the last labelled one.
constexpr DWORD kStackWords = 256;
constexpr DWORD kStackLineLength = 11 + kLongestLabel; // blank, 8 digits, label, CR LF
constexpr DWORD kStackListCapacity = kStackWords * kStackLineLength + 1;
const char* buildStackList(DWORD stackAddress);

// The nine registers in report order.
enum ReportRegister { kEax, kEbx, kEcx, kEdx, kEsi, kEdi, kEbp, kEsp, kEip, kReportRegisters };

struct ReportInputs {
    const char* frameTrace;
    DWORD codeBase;
    DWORD dataBase;
    DWORD bssBase;
    DWORD registers[kReportRegisters]; // raw values; the dumps are taken there
    DWORD offsets[kReportRegisters];   // labelled values; kEip's is the fault offset
    const char* labels[kReportRegisters];
    const char* stackList;
};

// Time and date texts: 8 characters with our pictures, at most 31.
constexpr DWORD kTimeTextCapacity = 32;

// Writes the whole report to `report` (kReportCapacity bytes), terminated; returns
// the position of the terminator.
char* formatReport(const ReportInputs& inputs, char* report);

// The report buffer: large enough for the largest report (see report.cpp).
extern char faultReport[];
