#pragma once

#include "platform/Platform.h"

namespace sim {

// The platform table the stand-ins fill: it starts as a copy of Win32's with posting held to
// Windows' quota (PostedMessages.h), and each stand-in puts its own functions into the entries
// it simulates. UseStandInApi installs it for the system.
platform::Api& StandInApi();
void UseStandInApi();

}  // namespace sim
