#include "sim/platform/LockWaits.h"

#include <atomic>

namespace sim::lock_waits {
namespace {

// One slot per thread that ever waited, claimed on its first wait and kept: the stand-ins run a
// few dozen threads in a process at most. Waits of threads beyond the table are not counted.
struct Slot {
    std::atomic<DWORD> thread{0};
    std::atomic<int64_t> waited{0};
};
constexpr int kSlots = 256;
Slot g_slots[kSlots];

Slot* Find(DWORD threadId, bool claim) {
    for (Slot& slot : g_slots) {
        DWORD owner = slot.thread.load();
        if (owner == threadId) {
            return &slot;
        }
        if (owner == 0) {
            if (!claim) {
                return nullptr;
            }
            DWORD empty = 0;
            if (slot.thread.compare_exchange_strong(empty, threadId) || empty == threadId) {
                return &slot;
            }
        }
    }
    return nullptr;
}

}  // namespace

void Add(int64_t nanoseconds) {
    if (Slot* slot = Find(::GetCurrentThreadId(), true)) {
        slot->waited.fetch_add(nanoseconds);
    }
}

int64_t Of(DWORD threadId) {
    Slot* slot = Find(threadId, false);
    return slot ? slot->waited.load() : 0;
}

int64_t Now() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<int64_t>(counter.QuadPart / frequency * 1'000'000'000LL +
                                counter.QuadPart % frequency * 1'000'000'000LL / frequency);
}

}  // namespace sim::lock_waits
