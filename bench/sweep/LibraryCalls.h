#pragma once

namespace sweep {

// Puts the sweep's own LoadLibraryW, GetProcAddress and FreeLibrary into this program's import
// table, so that the program's loading of the extension library, its binding of the library's
// exports and its unloading pass through the call sweep like every other outside call. Calls for
// other libraries go straight on. Returns false if an entry was not found.
bool RouteLibraryCallsThroughSweep();

}  // namespace sweep
