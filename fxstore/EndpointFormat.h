#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

// The endpoint's form factor and device format, read from its own property store.

// The endpoint's form factor as Windows numbers it (EndpointFormFactor: Speakers, Headphones,
// Headset, ...), or UnknownFormFactor when it cannot be read.
int GetEndpointFormFactor(LPCWSTR endpointId);

// The sample rate and valid bits per sample of the endpoint's current device format. Both are 0
// when the stored format is not a whole WAVEFORMATEXTENSIBLE, with the read's success code.
HRESULT GetEndpointDeviceFormat(LPCWSTR endpointId, DWORD* sampleRate, WORD* validBits);

// Switches the endpoint to stereo, 48000 Hz, 24 valid bits in 32-bit containers; on a Speakers
// endpoint also sets both speaker masks to front left and right.
BOOL ForceStereo48kFormat(LPCWSTR endpointId);
