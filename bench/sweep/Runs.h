#pragma once

#include <string>

#include "sim/machine/MachineState.h"
#include "sim/platform/CallSweep.h"

// The runs of the sweep by name, and the machines they start on.
namespace sweep {

// The machine a run starts on: one the program has never configured (a first run), or one that
// holds the first-run marker and a person's own words, not the defaults (a second start).
enum class Start { First, Second };

// The Windows the machine runs: 6.1, or 6.0, where the endpoint-configuration object and the FX
// store's accessor are of another generation.
enum class Windows { Seven, Vista };

// One run of the sweep: outside call `call` (from 1) answered by the variant, on a machine of the
// start and the Windows version; call 0 is the fault-free run.
struct RunChoice {
    size_t call = 0;
    sim::call_sweep::Variant variant = sim::call_sweep::Variant::Failure;
    Start start = Start::First;
    Windows windows = Windows::Seven;

    auto operator<=>(const RunChoice& other) const = default;
};

// The machine a group of runs shares: its Windows version and its start.
struct Setting {
    Windows windows = Windows::Seven;
    Start start = Start::First;

    auto operator<=>(const Setting& other) const = default;
};

inline Setting SettingOf(const RunChoice& run) {
    return {run.windows, run.start};
}

// "Windows 6.1, a first run"; the figures' prefix: "" for Windows 6.1's first run, then
// "second-start ", "Vista ", "Vista second-start ".
std::string SettingName(const Setting& setting);
std::string SettingFigurePrefix(const Setting& setting);

// "17" for the first run in which call 17 fails, "17u" for the one in which it succeeds unusably;
// "s17" and "s17u" for the same on a second start; a leading "v" for the same on Windows 6.0
// ("v17", "vs17u"); "0", "s0", "v0" and "vs0" for the fault-free runs.
std::string RunName(const RunChoice& run);
// The run a name names; false for text that names none. `faultFree` also takes the fault-free
// runs' names.
bool ParseRunName(const std::string& text, RunChoice* run, bool faultFree = false);

// The machine of a start: the built-in laptop with its speakers at 96000 Hz, a format the effects
// do not take, so that the first effect the script switches on forces stereo 48000 Hz.
sim::machine::MachineState SweepMachine(Start start, Windows windows = Windows::Seven);

}  // namespace sweep
