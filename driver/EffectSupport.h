#pragma once

#include <windows.h>

#include "driver/HDAudDevice.h"

// The mask of external effect sets the driver has installed; 0 when the query fails.
DWORD GetHDAudEffectSupport(const HDAudDeviceInfo* device);
