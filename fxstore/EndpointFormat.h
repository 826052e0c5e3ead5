#pragma once

#include <windows.h>

// The endpoint's form factor and device format, read from its own property store.

// Form factors the page tells apart (Windows' EndpointFormFactor numbers).
enum : int {
    FORM_FACTOR_SPEAKERS = 1,
    FORM_FACTOR_HEADPHONES = 3,
    FORM_FACTOR_HEADSET = 5,
    FORM_FACTOR_UNKNOWN = 10,
};

// The endpoint's form factor, or FORM_FACTOR_UNKNOWN when it cannot be read.
int GetEndpointFormFactor(LPCWSTR endpointId);

// The sample rate and valid bits per sample of the endpoint's current device format. Both are 0
// when the stored format is not a whole WAVEFORMATEXTENSIBLE, with the read's success code.
HRESULT GetEndpointDeviceFormat(LPCWSTR endpointId, DWORD* sampleRate, WORD* validBits);

// Switches the endpoint to stereo, 48000 Hz, 24 valid bits in 32-bit containers; on a Speakers
// endpoint also sets both speaker masks to front left and right.
BOOL ForceStereo48kFormat(LPCWSTR endpointId);
