// faultHandler.cpp: the exception handler of every protection frame. A fault in our
// own image ends in the report file, Notepad and exit code 1; anything else is
// left to the next handler.
#include "base/installLog.h"
#include "base/state.h"
#include "fault/fault.h"
#include "launch/startAsDesktopUser.h"

namespace {

constexpr DWORD kReportUnderWay = 18392;
constexpr char kReportPath[] = "c:\\QMDebug.dat";

DWORD reportMarker;
char registerLabels[kReportRegisters][kLabelCapacity];
ReportInputs inputs;

bool inImage(DWORD address) {
    const ImageRanges& image = imageRanges();
    return (address >= image.codeBase && address < image.codeEnd) ||
           (address >= image.dataBase && address < image.dataEnd) ||
           (address >= image.bssBase && address < image.bssEnd);
}

void writeReportFile(const char* report, DWORD length) {
    HANDLE file = CreateFileA(kReportPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, report, length, &written, nullptr);
        CloseHandle(file);
    }
}

} // namespace

extern "C" EXCEPTION_DISPOSITION __cdecl faultHandler(EXCEPTION_RECORD* record,
                                                      void* establisherFrame, CONTEXT* context,
                                                      void*) {
    // A fault inside a system library, even one that we called, is the platform's.
    if (!inImage(reinterpret_cast<DWORD>(record->ExceptionAddress)))
        return ExceptionContinueSearch;
    // Too little stack is left to build a report on.
    if (record->ExceptionCode == STATUS_STACK_OVERFLOW)
        return ExceptionContinueSearch;
    // A fault while reporting must not start a second report over the first.
    if (reportMarker == kReportUnderWay)
        Sleep(INFINITE);
    reportMarker = kReportUnderWay;

    inputs.frameTrace = buildFrameTrace(establisherFrame);
    inputs.stackList = buildStackList(context->Esp);
    const DWORD values[kReportRegisters] = {context->Eax, context->Ebx, context->Ecx,
                                            context->Edx, context->Esi, context->Edi,
                                            context->Ebp, context->Esp, context->Eip};
    for (int r = 0; r < kReportRegisters; ++r) {
        inputs.registers[r] = values[r];
        inputs.offsets[r] = values[r] - classifyValue(values[r], registerLabels[r]);
        inputs.labels[r] = registerLabels[r];
    }
    const ImageRanges& image = imageRanges();
    inputs.codeBase = image.codeBase;
    inputs.dataBase = image.dataBase;
    inputs.bssBase = image.bssBase;

    char* end = formatReport(inputs, faultReport);
    writeReportFile(faultReport, static_cast<DWORD>(end - faultReport));
    logEvent("fault report written to", kReportPath, nullptr, kNoResult);
    // Quiet mode: nobody is there to read it, and Notepad would wait for them.
    if (installer.quietMode == 0)
        startAsDesktopUser("notepad", kReportPath, nullptr, SW_SHOWMAXIMIZED);
    endRun(kExitFailed);
}
