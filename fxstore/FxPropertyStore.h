#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <propsys.h>

// The gateway to an endpoint's two property stores. Reads of effect values go through the FX
// store handle that OpenFxPropertyStore opens once; every write goes through the audio service's
// endpoint-configuration object of the running Windows generation (Vista or Windows 7; any other
// version makes these operations fail with E_FAIL).

// Opens the endpoint's FX store read-only. On success *fxStore holds the caller's reference.
HRESULT OpenFxPropertyStore(LPCWSTR endpointId, IPropertyStore** fxStore);

// Writes one value into the endpoint's FX store: the one way an effect value changes.
// The caller owns and clears the PROPVARIANT.
HRESULT SetFxPropertyValue(LPCWSTR endpointId, const PROPERTYKEY& key, PROPVARIANT* value);

// Writes one value into the endpoint's own property store.
HRESULT SetEndpointPropertyValue(IMMDevice* device, const PROPERTYKEY& key, PROPVARIANT* value);

// Writes the endpoint's device format.
HRESULT SetEndpointDeviceFormat(IMMDevice* device, const WAVEFORMATEX* format);
