#pragma once

#include <string>
#include <vector>

#include "bench/sweep/Script.h"
#include "sim/machine/Bench.h"

namespace sweep {

// What one scripted use saw of the program.
struct ScriptedUseResult {
    bool sheetShown = false;
    int stepsDone = 0;  // of the script's steps, closing included
    // Where each part of the run began (part 0, start-up, at 0; part i at step i): the number of
    // outside calls the call sweep had recorded, and the number of records in the service's
    // write log.
    std::vector<size_t> partCalls, partWrites;
    // Windows other than the sheet that came up (a message box, a second dialog): their class and
    // caption. Each was closed.
    std::vector<std::string> otherWindows;
    // Steps that did not come to rest in time, and other trouble on the way.
    std::vector<std::string> problems;
};

// Runs the program's start-up on the calling thread against the machine, and uses the sheet as a
// person would, step by step as Script() lists them. When start-up fails there is no sheet and
// nothing to do. Returns when the program's start-up returns. Each step is driven from a window
// of the script's own, so that nothing between the step and the program's handlers swallows an
// exception; the crash guard is told which part is under way.
ScriptedUseResult RunScriptedUse(sim::machine::Bench& bench);

}  // namespace sweep
