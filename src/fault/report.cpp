// report.cpp: the fault report's template and formatReport.
#include "fault/fault.h"
#include "version.h"

namespace {

#define QM_SUPPORT_ADDRESS "faults@quellmark.example"

// 53 lines; the directives take the 54 values in formatReport's order.
constexpr char kReportTemplate[] =
    "Quellmark has detected a fault in itself while working and has logged\r\n"
    "it's details below, if you have a spare moment it would be greatly\r\n"
    "appreciated if you could email this information, along with a short\r\n"
    "description of when exactly this fault occured (which browser you were\r\n"
    "using, operating system, any sites you were visiting at the time, etc),\r\n"
    "to the Quellmark staff at " QM_SUPPORT_ADDRESS " so we can try to fix the\r\n"
    "problem for future releases.\r\n"
    "\r\n"
    "Thank you, and our apologies for this inconvenience.\r\n"
    "\r\n"
    "\r\n"
    "\r\n" QM_PRODUCT_NAME " v" QM_VERSION_TEXT " *BETA* Fault Report\r\n"
    "\r\n"
    "Fault Section: %s\r\n"
    "Fault Offset:  %X%s\r\n"
    "Code Base:     %X\r\n"
    "Data Base:     %X\r\n"
    "Data? Base:    %X\r\n"
    "Time/Date:     %s %s\r\n"
    "\r\n"
    "Registers - EAX: %X%s\r\n"
    "            EBX: %X%s\r\n"
    "            ECX: %X%s\r\n"
    "            EDX: %X%s\r\n"
    "            ESI: %X%s\r\n"
    "            EDI: %X%s\r\n"
    "            EBP: %X%s\r\n"
    "            ESP: %X%s\r\n"
    "            EIP: %X%s\r\n"
    "\r\n"
    "Bytes at EAX: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at EBX: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at ECX: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at EDX: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at ESI: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at EDI: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at EBP: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at ESP: (%X%s)\r\n"
    "%s\r\n"
    "Bytes at EIP: (%X%s)\r\n"
    "%s\r\n"
    "\r\n"
    "Stack Trace:\r\n"
    "\r\n"
    "%s\r\n";

// The largest report. The template is counted whole, its directives included, which
// covers its fixed text and the terminator with room to spare.
constexpr DWORD kLabelledValues = 1 + 2 * kReportRegisters;
constexpr DWORD kLargestReport =
    sizeof(kReportTemplate) + kFrameTraceLength + kLabelledValues * (8 + kLongestLabel) + 3 * 8 +
    2 * (kTimeTextCapacity - 1) + kReportRegisters * (kDumpCapacity - 1) + kStackListCapacity - 1;
static_assert(kLabelledValues == 19, "the fault offset and each register twice");

constexpr DWORD lineCount(const char* text) {
    DWORD lines = 0;
    for (; *text != 0; ++text)
        lines += (text[0] == '\r' && text[1] == '\n') ? 1 : 0;
    return lines;
}
static_assert(lineCount(kReportTemplate) == 53, "the report has 53 lines");

char dumps[kReportRegisters][kDumpCapacity];
char timeText[kTimeTextCapacity];
char dateText[kTimeTextCapacity];

} // namespace

char faultReport[kLargestReport];

char* formatReport(const ReportInputs& in, char* report) {
    dateText[0] = 0;
    if (GetDateFormatA(LOCALE_NEUTRAL, 0, nullptr, "dd/MM/yy", dateText, kTimeTextCapacity) == 0)
        dateText[0] = 0;
    timeText[0] = 0;
    if (GetTimeFormatA(LOCALE_NEUTRAL, 0, nullptr, "HH:mm:ss", timeText, kTimeTextCapacity) == 0)
        timeText[0] = 0;
    for (int r = 0; r < kReportRegisters; ++r)
        dumpMemory(in.registers[r], dumps[r]);
    const DWORD* o = in.offsets;
    const char* const* l = in.labels;
    return Opt_wsprintfA(report, kReportTemplate, in.frameTrace, o[kEip], l[kEip], in.codeBase,
                         in.dataBase, in.bssBase, timeText, dateText, o[kEax], l[kEax], o[kEbx],
                         l[kEbx], o[kEcx], l[kEcx], o[kEdx], l[kEdx], o[kEsi], l[kEsi], o[kEdi],
                         l[kEdi], o[kEbp], l[kEbp], o[kEsp], l[kEsp], o[kEip], l[kEip], o[kEax],
                         l[kEax], dumps[kEax], o[kEbx], l[kEbx], dumps[kEbx], o[kEcx], l[kEcx],
                         dumps[kEcx], o[kEdx], l[kEdx], dumps[kEdx], o[kEsi], l[kEsi], dumps[kEsi],
                         o[kEdi], l[kEdi], dumps[kEdi], o[kEbp], l[kEbp], dumps[kEbp], o[kEsp],
                         l[kEsp], dumps[kEsp], o[kEip], l[kEip], dumps[kEip], in.stackList);
}
