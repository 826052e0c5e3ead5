#pragma once

#include <windows.h>

#include "endpoints/EndpointInventory.h"

// The start-up probe: TRUE when the maker's codec is present, its driver reports this program's
// effect set as installed, the extension library is complete and the inventory holds an endpoint
// to configure; the buffer then holds that endpoint's id. On FALSE the buffer is untouched.
// Nothing of the probe outlives the call.
BOOL GetInstalledSoundeffects(WCHAR endpointId[260]);

// The first record of kind 0 whose device state has no bit beyond active, disabled and
// unplugged; its index, or -1.
int SelectEffectsEndpoint(const EndpointInventory* inventory);
