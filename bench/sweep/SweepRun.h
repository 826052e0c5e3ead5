#pragma once

#include <string>
#include <vector>

#include "bench/sweep/Runs.h"
#include "bench/sweep/ScriptModel.h"
#include "sim/machine/MachineState.h"
#include "sim/platform/CallSweep.h"

namespace sweep {

// What the fault-free run of a start made: every outside call, in order, whether it can succeed
// unusably, and the number of calls made before each part of the run (part 0 at 0, then one per
// step). Every other run's call is told by its place in these.
struct FaultFreeCalls {
    std::vector<sim::call_sweep::Call> calls;
    std::vector<size_t> partCalls;
};

struct RunReport {
    std::vector<sim::call_sweep::Call> calls;  // every outside call the run made, in order
    std::vector<size_t> partCalls;
    std::string answeredCall;  // the call answered otherwise, "" if none was
    bool sheetShown = false;
    // The steps that wrote nothing where the fault-free run writes, as the rules say after the
    // fault.
    std::vector<std::string> silentSteps;
    // What broke: empty when the run passed every check.
    std::vector<std::string> problems;
};

// Runs the scripted use once against a fresh machine of the run's start, with the chosen outside
// call answered otherwise (none for call 0), and judges it by the model of the rules
// (ScriptModel.h), given that call: whether start-up ends or the sheet shows; every outside call,
// in order and in its part; the run's own write log, part by part; every stored value against what
// those writes leave; the script run to its end unless start-up ended, and then nothing written
// and no window; and nothing left behind: no service object alive, no client registered, no driver
// handle or set open, no key of the switch open, no CoTaskMem block leaked, the extension library
// unloaded, and no handle, thread, window, thread timer or other current directory that was not
// there before.
RunReport RunOnce(const RunChoice& run);

// Once per process, before the first run.
bool PrepareRuns(std::string* problem);

}  // namespace sweep
