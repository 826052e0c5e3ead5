#include "sim/platform/StandInApi.h"

#include "sim/platform/PostedMessages.h"

namespace sim {

platform::Api& StandInApi() {
    // Posting is Windows' own, with Windows' queue quota, which Wine does not impose.
    static platform::Api api = [] {
        platform::Api table = platform::Win32();
        table.PostMessageW = StandInPostMessageW;
        return table;
    }();
    return api;
}

void UseStandInApi() {
    platform::Install(&StandInApi());
}

}  // namespace sim
