#pragma once

// The floor for start-up: the effect page's dialog template in a bare one-page property sheet,
// with nothing else (no COM, no driver, no endpoints). The reference and halvo-sim's --bare-sheet
// show it in place of the program, so that their first paints tell the bench's cost from the
// program's.
namespace bench {

// Shows the sheet from the calling module's resources until it is closed; 0 once it was shown.
int ShowBareSheet();

}  // namespace bench
