#pragma once

#include <string>

#include "sim/machine/MachineState.h"

namespace sim::machine {

// The machine for a person: endpoints with the kind the program's inventory gives them, the
// driver's answers, every stored value (effect words in hex with their fields), and the log of
// the program's writes. ReportJson says the same as JSON. Both run the program's inventory
// against the machine, so they need the multithreaded apartment.
std::string Report(const MachineState& state);
std::string ReportJson(const MachineState& state);

// Whether a key lives in an endpoint's FX store (the effect words, the bypass value) rather
// than in its own store.
bool IsFxKey(const PROPERTYKEY& key);

}  // namespace sim::machine
