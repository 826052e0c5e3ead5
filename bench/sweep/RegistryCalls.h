#pragma once

#include <string>

namespace sweep {

// Puts the sweep's own RegOpenKeyExW, RegQueryValueExW and RegCloseKey into this program's import
// table. The per-user switch's key is then this process's own: it holds the string value
// "Enable_Front_Panel_Jack_Detect" = "1" (detection on, as by default), so the program's read of
// it goes the whole way, each call passes through the call sweep, and no run touches the Wine
// prefix's registry. Every other key is Windows'. Returns false if an entry was not found.
bool RouteRegistryCallsThroughSweep();

// "" when no handle of the switch's key is open, else how many are.
std::string OpenSwitchKeys();

}  // namespace sweep
