// The floor for start-up: the bare one-page sheet alone, in a process of its own. Its first paint
// under the same Wine is the limit halvo-sim's start-up is measured against.
#include "sim/machine/BareSheet.h"
#include "sim/machine/Instrument.h"

int wmain() {
    bench::InstrumentFromEnvironment();
    return bench::ShowBareSheet();
}
