#pragma once

namespace sim {

// Puts `function` into this program's import table in place of `name` imported from `dll`, so that
// the program's own calls of it come to the caller. *original receives the function it replaced
// (the first time only, so that a second routing keeps the real one). False if the entry was not
// found or could not be written.
bool ReplaceImport(const char* dll, const char* name, void* function, void** original);

}  // namespace sim
