#pragma once

namespace sweep {

// Puts the sweep's own LoadLibraryW and GetProcAddress into this program's import table, so that
// the program's loading of the extension library and its binding of the library's exports pass
// through the call sweep like every other outside call. Calls for other libraries go straight on.
// Returns false if either entry was not found.
bool RouteLibraryCallsThroughSweep();

}  // namespace sweep
