#pragma once

#include <string>
#include <vector>

#include "sim/machine/Bench.h"

namespace sweep {

// What one scripted use saw of the program.
struct ScriptedUseResult {
    bool sheetShown = false;
    int stepsDone = 0;  // of the script's steps, closing included
    // Windows other than the sheet that came up (a message box, a second dialog): their class and
    // caption. Each was closed.
    std::vector<std::string> otherWindows;
    // Steps that did not come to rest in time, and other trouble on the way.
    std::vector<std::string> problems;
};

// The steps of the scripted use, by name, in order.
std::vector<std::string> ScriptSteps();

// Runs the program's start-up on the calling thread against the machine, and uses the sheet as a
// person would: ten commands (box clicks, slider drags), three changes from another program, a
// jack change, then OK. When start-up fails there is no sheet and nothing to do. Returns when the
// program's start-up returns.
ScriptedUseResult RunScriptedUse(sim::machine::Bench& bench);

// The speakers of the built-in laptop, whose effects the page shows.
extern const wchar_t kSpeakers[];

}  // namespace sweep
