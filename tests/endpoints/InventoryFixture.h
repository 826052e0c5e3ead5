#pragma once

#include <windows.h>
#include <devicetopology.h>
#include <functiondiscoverykeys_devpkey.h>

#include <optional>
#include <string>

#include "endpoints/EndpointInventory.h"
#include "framework/CComPtr.h"
#include "tests/support/ExtensionLibrary.h"
#include "tests/support/SimAudioTest.h"

using sim::audio::Store;
using sim::audio::Value;

// A jack of the given connection type at the given location.
inline KSJACK_DESCRIPTION Jack(EPcxConnectionType connection,
                               EPcxGeoLocation location = eGeoLocRear) {
    KSJACK_DESCRIPTION jack = {};
    jack.ConnectionType = connection;
    jack.GeoLocation = location;
    jack.IsConnected = TRUE;
    return jack;
}

// A machine described endpoint by endpoint, with the complete extension library on the search
// path.
class InventoryTest : public SimAudioTest {
protected:
    // An endpoint with its names, its form factor (none stored when empty) and its jack.
    void Add(const std::wstring& id, EDataFlow flow, DWORD state,
             const std::optional<std::wstring>& friendlyName,
             const std::optional<std::wstring>& description, std::optional<UINT32> formFactor,
             const std::optional<KSJACK_DESCRIPTION>& jack = std::nullopt) {
        sim->AddEndpoint(id, flow, state);
        if (friendlyName) {
            sim->SetProperty(Store::Endpoint, id, PKEY_Device_FriendlyName,
                             Value::String(*friendlyName));
        }
        if (description) {
            sim->SetProperty(Store::Endpoint, id, PKEY_Device_DeviceDesc,
                             Value::String(*description));
        }
        if (formFactor) {
            sim->SetProperty(Store::Endpoint, id, PKEY_AudioEndpoint_FormFactor,
                             Value::UInt32(*formFactor));
        }
        if (jack) {
            sim->SetJack(id, *jack);
        }
    }

    // The device of an endpoint, as Build holds it.
    CComPtr<IMMDevice> Device(const std::wstring& id) {
        CComPtr<IMMDeviceEnumerator> enumerator;
        CComPtr<IMMDevice> device;
        EXPECT_EQ(Hr(S_OK), Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                IID_IMMDeviceEnumerator,
                                                reinterpret_cast<void**>(&enumerator))));
        EXPECT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(id.c_str(), &device)));
        return device;
    }

    ScopedDllDirectory extension{ExtensionVariantDir(L"full").c_str()};
};
