#pragma once

#include <windows.h>
#include <mmreg.h>
#include <propsys.h>

#include "fxstore/EndpointConfigInterfaces.h"
#include "fxstore/WindowsGeneration.h"
#include "framework/CComPtr.h"

// One endpoint-configuration object of the generation this Windows carries, created for a single
// operation and released with it.
class CEndpointConfig {
public:
    // Decides the generation, then creates the object (CLSCTX_ALL). E_FAIL on an unsupported
    // Windows version; otherwise CoCreateInstance's result.
    HRESULT Create();

    HRESULT WriteEndpointProperty(LPCWSTR endpointId, int fxStore, const PROPERTYKEY& key,
                                  PROPVARIANT* value);
    HRESULT WriteEndpointFormat(LPCWSTR endpointId, WAVEFORMATEX* deviceFormat);

private:
    CComPtr<IAudioEndpointConfigVista> m_vista;
    CComPtr<IAudioEndpointConfig7> m_windows7;
};
