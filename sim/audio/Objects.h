#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>
#include <propsys.h>

#include <memory>
#include <string>

#include "sim/audio/AudioService.h"

// Factories of the service's COM objects; each returns an object holding one reference.
namespace sim::audio {

// The id of an endpoint that has been removed, which no machine lists. Windows still hands out
// objects of a removed endpoint (a device taken from an older collection, a store or topology
// opened as it went); made for this id, the service's objects answer as those do: E_NOTFOUND,
// DEVICE_STATE_NOTPRESENT, a store that holds no value. Several unusable answers are such objects.
inline constexpr wchar_t kRemovedEndpointId[] =
    L"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}";

IMMDeviceEnumerator* NewDeviceEnumerator(std::shared_ptr<AudioService> service);
IMMDeviceCollection* NewDeviceCollection(std::shared_ptr<AudioService> service,
                                         std::vector<std::wstring> ids);
IMMDevice* NewDevice(std::shared_ptr<AudioService> service, const std::wstring& id);
IPropertyStore* NewPropertyStore(std::shared_ptr<AudioService> service, Store store,
                                 const std::wstring& id);
// IMMDevice::OpenPropertyStore and the accessor's OpenFxStore: the operation's failure, the
// access mode and the endpoint checked, then a new store.
HRESULT OpenStore(const std::shared_ptr<AudioService>& service, const char* operation, Store store,
                  const std::wstring& id, DWORD access, IPropertyStore** out);

// The endpoint's topology, the start of the walk down to the jacks on the adapter's side.
IDeviceTopology* NewDeviceTopology(std::shared_ptr<AudioService> service, const std::wstring& id);

// The undocumented components, with vtables laid out slot by slot.
IUnknown* NewFxStoreAccess(std::shared_ptr<AudioService> service, const std::wstring& id,
                           Generation generation);
IUnknown* NewEndpointConfig(std::shared_ptr<AudioService> service, Generation generation);

// The generation whose components answer on the simulated machine: Vista on 6.0, Windows 7 on
// 6.1; false on any other version.
bool ActiveGeneration(Generation* generation);

}  // namespace sim::audio
