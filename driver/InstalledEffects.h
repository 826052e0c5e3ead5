#pragma once

#include <windows.h>

#include "driver/HDAudDevice.h"
#include "endpoints/EndpointInventory.h"

// The start-up probe: TRUE when the maker's codec is present, its driver reports this program's
// effect set as installed, the extension library is complete and the inventory holds an endpoint
// to configure; the buffer then holds that endpoint's id. On FALSE the buffer is untouched.
// Nothing of the probe outlives the call.
BOOL GetInstalledSoundeffects(WCHAR endpointId[260]);

// The probe's discovery: a spare set, then FindHDAudDevice with it. FALSE when discovery could
// not be made (the set could not be made, or discovery failed); otherwise TRUE, and the record
// holds the codec's interface when one was found. The caller releases the record either way.
// The probe then asks GetHDAudEffectSupport of a found device and tests its bit
// HDAUD_SUPPORT_HALVO_EFFECTS only after the endpoint has been chosen.
BOOL DiscoverEffectsDevice(HDAudDeviceInfo* device);

// The first record of kind 0 whose device state has no bit beyond active, disabled and
// unplugged; its index, or -1.
int SelectEffectsEndpoint(const EndpointInventory* inventory);
