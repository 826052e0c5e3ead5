#pragma once

#include <windows.h>
#include <propkeydef.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/audio/AudioService.h"
#include "sim/machine/MachineState.h"
#include "sim/platform/CallSweep.h"

// The sweep's model of the program's rules. Given the machine and the one outside call answered
// otherwise, it says every call the scripted use makes, in order and by the name the stand-ins give
// it, what each serves, whether start-up ends or the sheet shows, and what each part of the run
// writes. It follows the rules as written down for the program, call by call, and where the
// program departs from them on purpose it follows the departure it names (Departures.h). Nothing
// of the program's code is asked: the words come from EffectRules, the machine from its state.
namespace sweep {

// The parts of a run: start-up up to the opening of the FX store, the page's start up to the
// first step, then one part per step of the script (closing included).
enum class Part { StartUp, PageStart, Step };

// The call answered otherwise: the nth call of the run (from 1), failing or, where the platform
// can, succeeding with an answer the program cannot use.
struct Fault {
    size_t call = 0;
    sim::call_sweep::Variant variant = sim::call_sweep::Variant::Failure;
};

// One call the rules make.
struct PlannedCall {
    std::string name;     // as the stand-ins name it: "FxStore::GetValue {50AF0471},0"
    bool offersUnusable;  // whether the platform may answer it unusably
    Part part;
    size_t step;         // Part::Step: the step, from 0
    std::string serves;  // what the rules make it for, in words
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
    std::wstring endpoint;  // the id the write names
};

struct RunPlan {
    std::vector<PlannedCall> calls;
    // The number of calls made before each part: start-up and the page's start (0), then each
    // step.
    std::vector<size_t> partCalls;
    // Whether start-up carries on to the sheet; when it does not, the rule that ends it.
    bool sheetShown = false;
    std::string ended;
    // The writes of each part: part 0 is start-up and the page's start, part i the script's step
    // i. Empty when start-up ends.
    std::vector<std::vector<IntendedWrite>> parts;
    // The speakers' stores once every accepted write is in.
    std::vector<std::pair<PROPERTYKEY, sim::audio::Value>> endpointStore, fxStore;
    // The departures from the written rules the run took, by name.
    std::vector<std::string> departures;
};

// Which departures the model follows: all it names (as the program is built), or none, to say
// what the written rules alone make.
enum class Follow { NamedDepartures, WrittenRulesOnly };

// The run of the scripted use on that machine, with that call answered otherwise.
RunPlan PlanRun(const sim::machine::MachineState& machine, const std::optional<Fault>& fault,
                Follow follow = Follow::NamedDepartures);

// A call in words for reports: "call 226 FxStore::GetValue {A6F29F8F},2 (page start: the
// first-run marker)".
std::string Describe(const PlannedCall& call, size_t number);

// A key as the stand-ins name it in a call: "{50AF0471},0".
std::string KeyText(const PROPERTYKEY& key);

}  // namespace sweep
