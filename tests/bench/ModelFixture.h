#pragma once

// What the sweep's model tests share: the sweep's machines, and a call of a plan found by its name
// and its part rather than by its number.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "bench/sweep/Runs.h"
#include "bench/sweep/Script.h"
#include "bench/sweep/ScriptModel.h"
#include "sim/machine/EffectKeys.h"

namespace model_test {

namespace keys = sim::keys;
using sim::audio::Value;
using sim::call_sweep::Variant;
using sweep::Fault;
using sweep::IntendedWrite;
using sweep::Part;
using sweep::RunPlan;

inline sim::machine::MachineState Machine(bool secondStart,
                                          sweep::Windows windows = sweep::Windows::Seven) {
    return sweep::SweepMachine(secondStart ? sweep::Start::Second : sweep::Start::First, windows);
}

// The number (from 1) of the nth call of that name in the part (and step), or 0.
inline size_t CallNumber(const RunPlan& plan, const std::string& name, Part part, size_t step = 0,
                         int nth = 1) {
    for (size_t i = 0; i < plan.calls.size(); ++i) {
        const sweep::PlannedCall& call = plan.calls[i];
        if (call.name == name && call.part == part && (part != Part::Step || call.step == step) &&
            --nth == 0) {
            return i + 1;
        }
    }
    return 0;
}

// The run with the nth call of that name failing (or unusable) on the machine.
inline RunPlan PlanWith(const sim::machine::MachineState& machine, const std::string& name,
                        Part part, size_t step = 0, int nth = 1, Variant variant = Variant::Failure,
                        sweep::Follow follow = sweep::Follow::NamedDepartures) {
    size_t number =
        CallNumber(sweep::PlanRun(machine, std::nullopt, follow), name, part, step, nth);
    EXPECT_NE(0u, number) << name << " is not made";
    return sweep::PlanRun(machine, Fault{number, variant}, follow);
}

// The words a part writes under a key, in order.
inline std::vector<DWORD> WordsOf(const std::vector<IntendedWrite>& writes,
                                  const PROPERTYKEY& key) {
    std::vector<DWORD> words;
    for (const IntendedWrite& write : writes) {
        if (write.key.pid == key.pid && IsEqualGUID(write.key.fmtid, key.fmtid)) {
            words.push_back(write.value.UInt32());
        }
    }
    return words;
}

// The names of a part's calls, in order.
inline std::vector<std::string> CallsOf(const RunPlan& plan, Part part, size_t step = 0) {
    std::vector<std::string> names;
    for (const sweep::PlannedCall& call : plan.calls) {
        if (call.part == part && (part != Part::Step || call.step == step)) {
            names.push_back(call.name);
        }
    }
    return names;
}

inline const char* const kFormatRead = "EndpointStore::GetValue {F19F064D},0";

}  // namespace model_test
