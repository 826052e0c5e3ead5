#include "bench/badinput/GuardedMemory.h"

namespace badinput {
namespace {

size_t PageSize() {
    static const size_t size = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<size_t>(info.dwPageSize);
    }();
    return size;
}

}  // namespace

void* PlaceAtPageEnd(size_t size, void** base) {
    size_t page = PageSize();
    size_t committed = (size + page - 1) / page * page;
    // The guard page is reserved with the rest and simply never committed.
    BYTE* region =
        static_cast<BYTE*>(VirtualAlloc(nullptr, committed + page, MEM_RESERVE, PAGE_NOACCESS));
    if (!region) {
        *base = nullptr;
        return nullptr;
    }
    if (committed && !VirtualAlloc(region, committed, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(region, 0, MEM_RELEASE);
        *base = nullptr;
        return nullptr;
    }
    *base = region;
    return region + committed - size;
}

void ReleasePlaced(void* base) {
    if (base) {
        VirtualFree(base, 0, MEM_RELEASE);
    }
}

}  // namespace badinput
