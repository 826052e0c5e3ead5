#include "sim/platform/StandInApi.h"

namespace sim {

platform::Api& StandInApi() {
    static platform::Api api = platform::Win32();
    return api;
}

void UseStandInApi() {
    platform::Install(&StandInApi());
}

}  // namespace sim
