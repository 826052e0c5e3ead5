#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/sweep/CallRoles.h"
#include "sim/audio/AudioService.h"
#include "sim/platform/CallSweep.h"

// The sweep's model of the program's rules: what the scripted use must write, part by part, given
// the one call that was answered otherwise. It keeps its own copy of the speakers' stores and of
// the page's records and boxes, and follows the commands, the first-run defaults, the load, the
// format check and the refreshes as the rules lay them down. Nothing of the program's code is
// asked; the words come from EffectRules.
namespace sweep {

// What the model starts from: the speakers' two stores, and the Windows version, which picks the
// endpoint-configuration object's generation.
struct ModelMachine {
    std::vector<std::pair<PROPERTYKEY, sim::audio::Value>> endpointStore;
    std::vector<std::pair<PROPERTYKEY, sim::audio::Value>> fxStore;
    DWORD windowsMinor = 1;
};

// The call answered otherwise, by its role in the fault-free run.
struct Fault {
    CallRole role;
    sim::call_sweep::Variant variant = sim::call_sweep::Variant::Failure;
};

// A write the rules make: accepted by the service, or refused by it (the write reaches the
// service and fails there).
struct IntendedWrite {
    sim::audio::Store store;
    PROPERTYKEY key;
    sim::audio::Value value;
    sim::audio::WriteOrigin origin;
    int slot;
    bool accepted;
};

struct RunPlan {
    // Part 0 is start-up and the page's start, part i the script's step i.
    std::vector<std::vector<IntendedWrite>> parts;
    // The speakers' stores once every accepted write is in.
    std::vector<std::pair<PROPERTYKEY, sim::audio::Value>> endpointStore, fxStore;
};

// The writes of a run in which start-up shows the page and the script runs to its end.
RunPlan PlanRun(const ModelMachine& machine, const std::optional<Fault>& fault);

}  // namespace sweep
