#pragma once

#include <windows.h>

#include <cstdint>

// How long each thread has waited for the stand-ins' locks in all, for a benchmark that must tell
// a wait for a stand-in from the program's own work. Only waits are counted: a lock taken at
// once costs one atomic test and nothing more.
namespace sim::lock_waits {

// Adds a wait of the calling thread.
void Add(int64_t nanoseconds);
// The thread's waits so far, in nanoseconds; 0 for a thread that never waited.
int64_t Of(DWORD threadId);
// A monotonic clock in nanoseconds, for timing a wait.
int64_t Now();

}  // namespace sim::lock_waits
