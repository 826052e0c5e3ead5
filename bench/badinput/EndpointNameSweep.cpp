#include "bench/badinput/Kinds.h"
namespace badinput {
bool SweepEndpointNames(const SweepOptions&) {
    return true;
}
}  // namespace badinput
