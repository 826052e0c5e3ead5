#pragma once

#include <string>
#include <vector>

#include "bench/sweep/SweepRun.h"
#include "sim/platform/CallSweep.h"

// The runs a sweep makes: those a list names, once they are known to be makeable, or every run of
// each start, or a seeded sample of them.
namespace sweep {

// The runs a list names, or false when a piece names none: a mistyped name is never dropped
// quietly from a list that is meant to pass.
bool ParseList(const std::wstring& text, std::vector<RunChoice>* list);

// Why a chosen run cannot be made, or "": its call is past the last one of its start, or it asks
// for an unusable answer from a call that has none.
std::string Unmakeable(const RunChoice& run, const std::vector<sim::call_sweep::Call>& calls);

// Every run of a setting: each call failing, and succeeding unusably where it can.
std::vector<RunChoice> AllRuns(const std::vector<sim::call_sweep::Call>& calls,
                               const Setting& setting);

// Runs drawn with a fixed seed, up to the sample's size: enough to show that the sweep works.
std::vector<RunChoice> Sample(const std::vector<sim::call_sweep::Call>& calls,
                              const Setting& setting, unsigned seed);

}  // namespace sweep
