#pragma once

#include <cstddef>
#include <vector>

namespace sweep {

// The runs one process of the sweep makes: first a fault-free run, which lists every outside call
// ("calls N", then "call i NAME" for each when `listCalls`), then for each k in turn
// "run k NAME", the run with call k failing, and "result k pass" or "result k FAIL what broke".
// A run that hangs past the watchdog's time or crashes ends the process after its result line.
int RunSweepChild(const std::vector<std::size_t>& runs, bool listCalls);

}  // namespace sweep
