#pragma once

#include <string>
#include <vector>

#include "bench/sweep/ScriptModel.h"
#include "sim/audio/AudioService.h"

// Judges a run by its own write log: part by part, every write that reached the service must be
// the next one the rules make there, with the value, store, path and result they give it, and
// none they make may be missing.
namespace sweep {

struct WriteVerdict {
    // What broke; empty when every part wrote what the rules write.
    std::vector<std::string> problems;
    // The steps that wrote nothing, where the fault-free run writes, as the rules say they must
    // after the fault.
    std::vector<std::string> silentSteps;
};

// `log` is the service's whole write log; `partStarts[i]` the number of its records made before
// part i began (part 0 is start-up and the page's start, part i the script's step i). `plan` is
// what the rules write in this run, `faultFree` what they write without the fault.
WriteVerdict JudgeWrites(const std::vector<sim::audio::WriteRecord>& log,
                         const std::vector<size_t>& partStarts, const RunPlan& plan,
                         const RunPlan& faultFree);

// A write in words: "fx PKEY_Xan_NaturalBass = VT_UI4 0x80003513 by Config7 slot 12".
std::string Describe(const sim::audio::WriteRecord& write);
std::string Describe(const IntendedWrite& write);

}  // namespace sweep
