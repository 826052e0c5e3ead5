#pragma once

#include <string>
#include <vector>

#include "sim/machine/MachineState.h"
#include "sim/platform/CallSweep.h"

namespace sweep {

// The machine a run starts on: one the program has never configured (a first run), or one that
// holds the first-run marker and a person's own words, not the defaults (a second start).
enum class Start { First, Second };

// One run of the sweep: outside call `call` (from 1) answered by the variant, on a machine of the
// start; call 0 is the fault-free run.
struct RunChoice {
    size_t call = 0;
    sim::call_sweep::Variant variant = sim::call_sweep::Variant::Failure;
    Start start = Start::First;

    auto operator<=>(const RunChoice& other) const = default;
};

// "17" for the first run in which call 17 fails, "17u" for the one in which it succeeds unusably;
// "s17" and "s17u" for the same on a second start; "0" and "s0" for the fault-free runs.
std::string RunName(const RunChoice& run);
// The run a name names; false for text that names none. `faultFree` also takes "0" and "s0".
bool ParseRunName(const std::string& text, RunChoice* run, bool faultFree = false);

// The machine of a start: the built-in laptop with its speakers at 96000 Hz, a format the effects
// do not take, so that the first effect the script switches on forces stereo 48000 Hz.
sim::machine::MachineState SweepMachine(Start start);

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
// call answered otherwise (none for call 0; `reference` is then not needed), and judges it: the
// run's own write log, part by part, against what the rules write given that call (ScriptModel);
// every stored value against what those writes leave; the script run to its end unless start-up
// ended, and then nothing written and no window; and nothing left behind: no service object
// alive, no client registered, no driver handle or set open, no key of the switch open, no
// CoTaskMem block leaked, the extension library unloaded, and no handle, thread, window, thread
// timer or other current directory that was not there before.
RunReport RunOnce(const RunChoice& run, const FaultFreeCalls* reference);

// Once per process, before the first run.
bool PrepareRuns(std::string* problem);

}  // namespace sweep
