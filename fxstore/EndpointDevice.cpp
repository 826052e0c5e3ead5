#include "fxstore/EndpointDevice.h"

#include <propsys.h>

HRESULT OpenEndpointDevice(LPCWSTR endpointId, CComPtr<IMMDeviceEnumerator>& enumerator,
                           CComPtr<IMMDevice>& device) {
    HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator));
    if (FAILED(hr)) {
        return hr;
    }
    hr = enumerator->GetDevice(endpointId, &device);
    if (FAILED(hr)) {
        return hr;
    }
    return device ? S_OK : E_FAIL;
}

HRESULT ReadDeviceProperty(IMMDevice* device, const PROPERTYKEY& key, CPropVariant& value) {
    CComPtr<IPropertyStore> store;
    HRESULT hr = device->OpenPropertyStore(STGM_READ, &store);
    if (FAILED(hr)) {
        return hr;
    }
    if (!store) {
        return E_FAIL;
    }
    return store->GetValue(key, &value);
}
