// protectionFrame.h: named protection frames, linked into the thread's SEH chain.
//
// Record, on the stack of the routine that opens it, at increasing addresses:
//   +0 Next     previous chain head (fs:[0]); 0xFFFFFFFF ends the chain
//   +4 Handler  faultHandler, in every frame of ours
//   +8 Name     first byte of the stored name in the code stream
//
// Code stream of an opening, which classifyValue recognises:
//   E8 rel32            call over the stored name; pushes the name's address
//   name ^ 0x5A ... 5A  the scrambled name and its terminator (never executed)
//   68 imm32            push faultHandler; both words are popped into the record
#pragma once

#include <windows.h>

struct ProtectionFrame {
    ProtectionFrame* Next;
    const void* Handler;
    const unsigned char* Name;
};

extern "C" EXCEPTION_DISPOSITION __cdecl faultHandler(EXCEPTION_RECORD* record,
                                                      void* establisherFrame, CONTEXT* context,
                                                      void* dispatcherContext);

constexpr unsigned char kFrameNameKey = 0x5A;

// Stored frame names: each character XOR 0x5A, then the terminator 0x5A. The
// assembler cannot XOR a character taken from a macro argument, so they are
// spelled out; scripts/frame-name.py prints the line for a new name.
#define FRAME_NAME_QMEntry "0x0B,0x17,0x1F,0x34,0x2E,0x28,0x23,0x5A"
#define FRAME_NAME_QMSilent "0x0B,0x17,0x09,0x33,0x36,0x3F,0x34,0x2E,0x5A"
#define FRAME_NAME_OptionsDlg "0x15,0x2A,0x2E,0x33,0x35,0x34,0x29,0x1E,0x36,0x3D,0x5A"
#define FRAME_NAME_AgreementDlg "0x1B,0x3D,0x28,0x3F,0x3F,0x37,0x3F,0x34,0x2E,0x1E,0x36,0x3D,0x5A"
#define FRAME_NAME_CreateShortcut                                                                  \
    "0x19,0x28,0x3F,0x3B,0x2E,0x3F,0x09,0x32,0x35,0x28,0x2E,0x39,0x2F,0x2E,0x5A"
#define FRAME_NAME_CleanTempFiles                                                                  \
    "0x19,0x36,0x3F,0x3B,0x34,0x0E,0x3F,0x37,0x2A,0x1C,0x33,0x36,0x3F,0x29,0x5A"
#define FRAME_NAME_ReplaceOrSchedule                                                               \
    "0x08,0x3F,0x2A,0x36,0x3B,0x39,0x3F,0x15,0x28,0x09,0x39,0x32,0x3F,0x3E,0x2F,0x36,0x3F,0x5A"

// Longest name above; the fault report's buffer is sized from it.
constexpr unsigned kLongestFrameName = sizeof("ReplaceOrSchedule") - 1;

// `name` is one of the FRAME_NAME_ suffixes. The pushes and pops balance inside
// the asm, so the compiler's view of the stack pointer stays right. The chain head
// is written with a memory clobber: the record's stores must be complete before
// fs:[0] points at it, and must not be dropped as dead (only the platform reads them).
// clang-format off
#define OPEN_PROTECTION_FRAME(frame, name)                                                         \
    do {                                                                                           \
        const unsigned char* frameName_;                                                           \
        const void* frameHandler_;                                                                 \
        asm volatile("call 1f\n\t"                                                                 \
                     ".byte " FRAME_NAME_##name "\n"                                               \
                     "1:\n\t"                                                                      \
                     "push %2\n\t"                                                                 \
                     "pop %1\n\t"                                                                  \
                     "pop %0"                                                                      \
                     : "=r"(frameName_), "=r"(frameHandler_)                                       \
                     : "i"(&faultHandler)                                                          \
                     : "memory");                                                                  \
        (frame).Name = frameName_;                                                                 \
        (frame).Handler = frameHandler_;                                                           \
        asm volatile("movl %%fs:0, %0" : "=r"((frame).Next));                                      \
        asm volatile("movl %0, %%fs:0" : : "r"(&(frame)) : "memory");                              \
    } while (0)

#define CLOSE_PROTECTION_FRAME(frame)                                                              \
    asm volatile("movl %0, %%fs:0" : : "r"((frame).Next) : "memory")
// clang-format on
