// faultHandler.cpp: the exception handler of every protection frame.
#include "fault/protectionFrame.h"

extern "C" EXCEPTION_DISPOSITION __cdecl faultHandler(EXCEPTION_RECORD*, void*, CONTEXT*, void*) {
    return ExceptionContinueSearch;
}
