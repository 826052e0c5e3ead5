#pragma once

#include <string>

#include "bench/sweep/SweepRun.h"

// What the model of the rules says of each call of a setting's fault-free run, for a person who
// chooses runs by call (halvo-sweep --list) and for the sweep's own report.
namespace sweep {

// One line per call: its number, its name, its part and what it serves, then what a failure of it
// leads to and, where the platform offers one, what its unusable answer leads to: for a start-up
// call "ends start-up: <the rule>" or "carries on"; for a later call the part's writes.
void PrintRuleList(const Setting& setting);

// How many start-up calls end start-up when they fail, and how many let it carry on; the same
// for their unusable answers.
void PrintStartUpJudgements(const Setting& setting);

// The number of calls the rules make in the setting's fault-free run.
size_t RulesCallCount(const Setting& setting);

}  // namespace sweep
