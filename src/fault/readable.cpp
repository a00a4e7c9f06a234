// readable.cpp: the one readability test of the fault handler's reads.
#include "fault/fault.h"

namespace {

constexpr DWORD kReadableProtections = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                       PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                                       PAGE_EXECUTE_WRITECOPY;

// Committed, readable pages all the way, by the memory manager's own account.
bool mappedReadable(DWORD address, DWORD size) {
    DWORD last = address + size - 1;
    if (last < address)
        return false;
    for (DWORD at = address;;) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) != sizeof region)
            return false;
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0 ||
            (region.Protect & kReadableProtections) == 0)
            return false;
        DWORD end = reinterpret_cast<DWORD>(region.BaseAddress) + region.RegionSize;
        if (end == 0 || last < end)
            return true;
        at = end;
    }
}

} // namespace

// IsBadReadPtr answers by catching the fault of a trial read. Where the platform
// cannot tell that fault apart (Wine on an emulated CPU that reports no trap number),
// the trial read would end the process; asking the memory manager first means it is
// only ever made on memory that is mapped readable.
bool readable(const void* address, DWORD size) {
    return mappedReadable(reinterpret_cast<DWORD>(address), size) && !IsBadReadPtr(address, size);
}
