// What Build reads from each endpoint: its names, its form factor and its jack.
#include "endpoints/EndpointInventory.h"

#include <functiondiscoverykeys_devpkey.h>
#include <propsys.h>
#include <strsafe.h>

#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"
#include "framework/PropVariantPayload.h"

namespace {

constexpr WCHAR kNotAvailable[] = L"<Device not available>";

// One value from the device's own store, opened read-only for this read alone.
HRESULT ReadProperty(IMMDevice* device, const PROPERTYKEY& key, CPropVariant& value) {
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

// The walk from an endpoint to the jack description of the adapter's connector it plugs into.
HRESULT OpenJackDescription(IMMDevice* device, CComPtr<IKsJackDescription>& jacks) {
    CComPtr<IDeviceTopology> topology;
    HRESULT hr = device->Activate(IID_IDeviceTopology, CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(&topology));
    if (FAILED(hr) || !topology) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    UINT connectors = 0;
    hr = topology->GetConnectorCount(&connectors);
    if (FAILED(hr) || connectors == 0) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    CComPtr<IConnector> endpointSide;
    hr = topology->GetConnector(0, &endpointSide);
    if (FAILED(hr) || !endpointSide) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    CComPtr<IConnector> adapterSide;
    hr = endpointSide->GetConnectedTo(&adapterSide);
    if (FAILED(hr) || !adapterSide) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    CComPtr<IPart> part;
    hr = adapterSide.QueryInterface(IID_IPart, &part);
    if (FAILED(hr) || !part) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = part->Activate(CLSCTX_ALL, IID_IKsJackDescription, reinterpret_cast<void**>(&jacks));
    if (SUCCEEDED(hr) && !jacks) {
        hr = E_FAIL;
    }
    return hr;
}

}  // namespace

void ReadEndpointString(IMMDevice* device, const PROPERTYKEY& key,
                        WCHAR field[ENDPOINT_TEXT_UNITS]) {
    CPropVariant value;
    // A value that holds no string counts as one that cannot be read. A name may come as a
    // VT_LPWSTR or as a VT_BSTR; either is text up to its first NUL.
    const WCHAR* text = nullptr;
    if (device && SUCCEEDED(ReadProperty(device, key, value))) {
        if (value->vt == VT_LPWSTR) {
            text = value->pwszVal;
        } else if (value->vt == VT_BSTR) {
            text = value->bstrVal;
        }
    }
    if (text) {
        // Cut to fit: STRSAFE_E_INSUFFICIENT_BUFFER still leaves the field terminated.
        StringCchCopyW(field, ENDPOINT_TEXT_UNITS, text);
    } else {
        StringCchCopyW(field, ENDPOINT_TEXT_UNITS, kNotAvailable);
    }
}

UINT32 ReadFormFactor(IMMDevice* device) {
    CPropVariant value;
    ULONG formFactor = 0;
    // A store without the value reads as VT_EMPTY: form factor 0. A value that holds no number
    // counts as unreadable.
    if (!device || FAILED(ReadProperty(device, PKEY_AudioEndpoint_FormFactor, value)) ||
        !GetPropVariantPayload32(*value.Get(), &formFactor)) {
        return UnknownFormFactor;
    }
    return formFactor;
}

UINT32 GetEndpointJackCount(IMMDevice* device) {
    CComPtr<IKsJackDescription> jacks;
    UINT count = 0;
    if (!device || FAILED(OpenJackDescription(device, jacks)) ||
        FAILED(jacks->GetJackCount(&count))) {
        return 0;
    }
    return count;
}

BOOL GetEndpointJackDescription(IMMDevice* device, KSJACK_DESCRIPTION* description) {
    if (GetEndpointJackCount(device) == 0) {
        return FALSE;
    }
    ZeroMemory(description, sizeof *description);
    CComPtr<IKsJackDescription> jacks;
    return SUCCEEDED(OpenJackDescription(device, jacks)) &&
           SUCCEEDED(jacks->GetJackDescription(0, description));
}
