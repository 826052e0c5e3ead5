#pragma once

#include <windows.h>

// The kernel handles this process holds, for the benchmarks and sweeps that check what a run
// leaves behind.
namespace bench {

// A count this machine gives no way to take.
constexpr long kHandlesNotCounted = -1;

// Wine answers GetProcessHandleCount with 0: ask for each handle value in turn instead. A
// process always holds some handles, so finding none means the probe does not work here.
inline long CountOpenHandles() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) {
        return static_cast<long>(count);
    }
    for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count > 0 ? static_cast<long>(count) : kHandlesNotCounted;
}

}  // namespace bench
