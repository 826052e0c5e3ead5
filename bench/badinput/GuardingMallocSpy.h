#pragma once

#include <cstddef>

// The sweep's CoTaskMem spy. It counts the blocks alive, as the tests' spy does, and while a
// ScopedCoTaskMemGuard lives it hands out every new block at the end of a committed page followed
// by an uncommitted one, so that a reader running past a string, a blob or an id the audio
// service handed over faults at once. It replaces the tests' spy: only one spy can be registered.
namespace badinput {

void InstallGuardingMallocSpy();

// Blocks allocated since installation and not yet freed.
size_t LiveCoTaskMemBlocks();

// Guards every block allocated while it lives, on any thread.
class ScopedCoTaskMemGuard {
public:
    ScopedCoTaskMemGuard();
    ScopedCoTaskMemGuard(const ScopedCoTaskMemGuard&) = delete;
    ScopedCoTaskMemGuard& operator=(const ScopedCoTaskMemGuard&) = delete;
    ~ScopedCoTaskMemGuard();
};

}  // namespace badinput
