#include "fxstore/FxPropertyStore.h"

#include "framework/CCoTaskMemString.h"
#include "framework/CComPtr.h"
#include "fxstore/EndpointConfig.h"
#include "fxstore/EndpointConfigInterfaces.h"
#include "fxstore/WindowsGeneration.h"

HRESULT OpenFxPropertyStore(LPCWSTR endpointId, IPropertyStore** fxStore) {
    if (!fxStore) {
        return E_POINTER;
    }
    *fxStore = nullptr;

    CComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator));
    if (FAILED(hr)) {
        return hr;
    }
    CComPtr<IMMDevice> device;
    hr = enumerator->GetDevice(endpointId, &device);
    if (FAILED(hr)) {
        return hr;
    }
    if (!device) {
        return E_FAIL;
    }

    AudioServiceGeneration generation;
    if (FAILED(GetAudioServiceGeneration(&generation))) {
        return E_FAIL;
    }
    const IID& accessorId = generation == AudioServiceGeneration::Vista
                                ? IID_IEndpointFxStoreAccessVista
                                : IID_IEndpointFxStoreAccess7;
    CComPtr<IEndpointFxStoreAccess> accessor;
    hr = device.QueryInterface(accessorId, &accessor);
    if (FAILED(hr)) {
        return hr;
    }
    if (!accessor) {
        return E_FAIL;
    }
    // The store stays usable after the accessor, the device and the enumerator are released.
    hr = accessor->OpenFxStore(STGM_READ, fxStore);
    if (SUCCEEDED(hr) && !*fxStore) {
        // Success without a store would give the page nothing to read its words from.
        return E_FAIL;
    }
    return hr;
}

HRESULT SetFxPropertyValue(LPCWSTR endpointId, const PROPERTYKEY& key, PROPVARIANT* value) {
    CEndpointConfig config;
    HRESULT hr = config.Create();
    if (FAILED(hr)) {
        return hr;
    }
    return config.WriteEndpointProperty(endpointId, ENDPOINT_STORE_FX, key, value);
}

namespace {

// The generation's configuration object and the device's id, the two things both endpoint
// writers need before they can write.
HRESULT PrepareEndpointWrite(IMMDevice* device, CEndpointConfig& config, CCoTaskMemString& id) {
    HRESULT hr = config.Create();
    if (FAILED(hr)) {
        return hr;
    }
    hr = device->GetId(&id);
    if (FAILED(hr)) {
        return hr;
    }
    return id.Get() ? S_OK : E_FAIL;
}

}  // namespace

HRESULT SetEndpointPropertyValue(IMMDevice* device, const PROPERTYKEY& key, PROPVARIANT* value) {
    if (!device) {
        return E_FAIL;
    }
    CEndpointConfig config;
    CCoTaskMemString id;
    HRESULT hr = PrepareEndpointWrite(device, config, id);
    if (FAILED(hr)) {
        return hr;
    }
    return config.WriteEndpointProperty(id.Get(), ENDPOINT_STORE_DEVICE, key, value);
}

HRESULT SetEndpointDeviceFormat(IMMDevice* device, const WAVEFORMATEX* format) {
    // Checked before anything else, the Windows version included.
    if (!format || !device) {
        return E_FAIL;
    }
    CEndpointConfig config;
    CCoTaskMemString id;
    HRESULT hr = PrepareEndpointWrite(device, config, id);
    if (FAILED(hr)) {
        return hr;
    }
    return config.WriteEndpointFormat(id.Get(), const_cast<WAVEFORMATEX*>(format));
}
