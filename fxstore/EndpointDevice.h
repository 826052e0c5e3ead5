#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"

// Creates a device enumerator and gets the endpoint's IMMDevice from it. A null device counts as
// failure (E_FAIL). The caller releases the device before the enumerator.
HRESULT OpenEndpointDevice(LPCWSTR endpointId, CComPtr<IMMDeviceEnumerator>& enumerator,
                           CComPtr<IMMDevice>& device);

// Reads one value from the device's own property store, opened read-only for this read alone.
HRESULT ReadDeviceProperty(IMMDevice* device, const PROPERTYKEY& key, CPropVariant& value);
