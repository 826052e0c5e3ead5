#include "bench/badinput/Kinds.h"
namespace badinput {
bool SweepPropertyValues(const SweepOptions&) {
    return true;
}
}  // namespace badinput
