#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

// Watches the sheet from inside the process that shows it, for the benchmarks: when its first
// paint is done, and every position the Bass Boost slider is given. Installed on the thread that
// will run the sheet, before the sheet is created; the program under watch learns nothing of it.
namespace bench {

// Now, as nanoseconds since 1970 on the clock Linux stamps files with (Wine's system time).
int64_t UnixNanoseconds();

// The committed memory of the process by what holds it.
struct MemoryByKind {
    uint64_t stacks;  // private memory committed to the threads' stacks
    uint64_t heaps;   // private memory committed to the process's heaps
    uint64_t rest;    // every other private byte
    uint64_t images;  // the modules' images, not private
    unsigned threads;
};

// What the process looked like when the sheet's first paint was done.
struct FirstPaint {
    int64_t paintedAt;  // the end of the last paint of the first round, UnixNanoseconds
    int64_t createdAt;  // the process's creation time, the same clock
    uint64_t privateBytes;
    uint64_t workingSetBytes;
    MemoryByKind memory;
};

// The process's memory now, region by region (Wine gives no private-usage counter).
MemoryByKind TakeMemoryByKind();

// Calls `done` once, on the sheet's thread, when the first round of painting of the first dialog
// window of this thread is over (every WM_PAINT it and its children had waiting was handled).
void WatchFirstPaint(std::function<void(HWND root, const FirstPaint&)> done);

// Calls `moved` on the sheet's thread each time the Bass Boost slider (control 1005) has been
// given a position, with the position it now holds.
void WatchSlider(std::function<void(HWND slider, int position, int64_t at)> moved);

// From the environment, for a program that is run by a benchmark script:
//   HALVO_FIRST_PAINT_REPORT=FILE  write "painted created private workingset stacks heaps rest
//                                  images threads" to FILE after the first paint, then close the
//                                  sheet with Cancel;
//   HALVO_PHASE_REPORT=FILE        (for a program that started PhaseReport) write the start-up's
//                                  phases to FILE at the first paint, then close the sheet;
//   HALVO_SLIDER_LOG=FILE          append "at position" to FILE for each slider position.
void InstrumentFromEnvironment();

}  // namespace bench
