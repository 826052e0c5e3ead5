#pragma once

#include <cstdint>

// The phases of the program's start-up, timed from outside it for the start-up benchmark: the
// calls the stand-ins take, the library and registry calls it imports, and the messages its sheet
// and page get mark where each phase begins. The program learns nothing of it.
namespace bench {

// With HALVO_PHASE_REPORT=FILE set, starts the timing: from here on every outside call is
// stamped, and the imports and the window messages that mark a phase are watched. FILE receives
// the phases once FinishPhaseReport is called. Without it, nothing happens.
void StartPhaseReportFromEnvironment();

// The moment the program's start-up is entered.
void MarkInitInstance();

// Writes one line per phase, "name microseconds", in the order they came, from the marks so far
// and the sheet's first paint at `paintedAt` (UnixNanoseconds); false if no phase could be told.
bool FinishPhaseReport(int64_t paintedAt);

}  // namespace bench
