#pragma once

#include <string>
#include <vector>

#include "bench/sweep/StoredValues.h"
#include "sim/platform/CallSweep.h"

namespace sweep {

// One run of the sweep: outside call `call` (from 1) answered by the variant; call 0 is the
// fault-free run.
struct RunChoice {
    size_t call = 0;
    sim::call_sweep::Variant variant = sim::call_sweep::Variant::Failure;

    bool operator<(const RunChoice& other) const {
        return call != other.call ? call < other.call : variant < other.variant;
    }
    bool operator==(const RunChoice& other) const = default;
};

// "17" for the run in which call 17 fails, "17u" for the one in which it succeeds unusably.
std::string RunName(const RunChoice& run);
// The run a name names; false for text that names none.
bool ParseRunName(const std::string& text, RunChoice* run);

struct RunReport {
    std::vector<sim::call_sweep::Call> calls;  // every outside call the run made, in order
    std::string answeredCall;                  // the call answered otherwise, "" if none was
    bool sheetShown = false;
    WrittenValues written;
    // What broke: empty when the run passed every check.
    std::vector<std::string> problems;
};

// Runs the scripted use once against a fresh default machine, with the chosen outside call
// answered otherwise (none for call 0), and checks what the run left: no service object alive, no
// client registered, no driver handle or set open, no key of the switch open, no CoTaskMem block
// leaked, no window left, the extension library unloaded, no window at all when start-up failed,
// no window but the sheet otherwise, and every stored value as it was or as the fault-free run
// (`reference`, when given) wrote it at some point.
RunReport RunOnce(const RunChoice& run, const WrittenValues* reference);

// Once per process, before the first run.
bool PrepareRuns(std::string* problem);

}  // namespace sweep
