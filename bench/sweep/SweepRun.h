#pragma once

#include <string>
#include <vector>

#include "bench/sweep/StoredValues.h"

namespace sweep {

struct RunReport {
    std::vector<std::string> calls;  // every outside call the run made, in order
    std::string failedCall;          // the call made to fail, "" if none was
    bool sheetShown = false;
    WrittenValues written;
    // What broke: empty when the run passed every check.
    std::vector<std::string> problems;
};

// Runs the scripted use once against a fresh default machine, with outside call `failCall` (from
// 1) failing, or none when 0, and checks what the run left: no service object alive, no client
// registered, no driver handle or set open, no CoTaskMem block leaked, no window left, the
// extension library unloaded, no window at all when start-up failed, no window but the sheet
// otherwise, and every stored value as it was or as the fault-free run (`reference`, when given)
// wrote it at some point.
RunReport RunOnce(size_t failCall, const WrittenValues* reference);

// Once per process, before the first run.
bool PrepareRuns(std::string* problem);

}  // namespace sweep
