#pragma once

#include <string>
#include <vector>

#include "bench/sweep/ScriptModel.h"
#include "sim/platform/CallSweep.h"

// Judges a run's outside calls by the model of the rules: the same calls, in the same order, each
// in the same part of the run.
namespace sweep {

// "" when the program made every call the rules make, in order, in the same part and with the
// same offer of an unusable answer; otherwise the first difference, in words. `partCalls` are the
// calls the program made before each part (part 0, start-up and the page's start, at 0).
std::string CompareCalls(const std::vector<sim::call_sweep::Call>& calls,
                         const std::vector<size_t>& partCalls, const RunPlan& plan);

}  // namespace sweep
