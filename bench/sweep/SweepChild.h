#pragma once

#include <vector>

#include "bench/sweep/SweepRun.h"

namespace sweep {

// The runs one process of the sweep makes: first a fault-free run, which lists every outside call
// ("calls N", then for each when `listCalls` "call i fail NAME", or "call i fail+unusable NAME"
// for a call that can also succeed unusably), then for each run R in turn ("17", or "17u": see
// RunName) "run R NAME", the run itself, and "result R pass" or "result R FAIL what broke". A run
// that hangs past the watchdog's time or crashes ends the process after its result line.
int RunSweepChild(const std::vector<RunChoice>& runs, bool listCalls);

}  // namespace sweep
