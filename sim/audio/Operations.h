#pragma once

// The names by which a test makes an operation of the simulated audio service fail or counts
// its calls (AudioService::FailOn, AudioService::Calls).
namespace sim::audio::op {

inline constexpr char CreateDeviceEnumerator[] = "CoCreateInstance(MMDeviceEnumerator)";
inline constexpr char CreateEndpointConfig[] = "CoCreateInstance(AudioEndpointConfig)";

inline constexpr char GetDevice[] = "IMMDeviceEnumerator::GetDevice";
inline constexpr char EnumAudioEndpoints[] = "IMMDeviceEnumerator::EnumAudioEndpoints";
inline constexpr char GetDefaultAudioEndpoint[] = "IMMDeviceEnumerator::GetDefaultAudioEndpoint";
inline constexpr char RegisterCallback[] =
    "IMMDeviceEnumerator::RegisterEndpointNotificationCallback";
inline constexpr char UnregisterCallback[] =
    "IMMDeviceEnumerator::UnregisterEndpointNotificationCallback";

inline constexpr char CollectionGetCount[] = "IMMDeviceCollection::GetCount";
inline constexpr char CollectionItem[] = "IMMDeviceCollection::Item";

inline constexpr char GetId[] = "IMMDevice::GetId";
inline constexpr char GetState[] = "IMMDevice::GetState";
inline constexpr char OpenPropertyStore[] = "IMMDevice::OpenPropertyStore";
inline constexpr char QueryFxStoreAccess[] = "IMMDevice::QueryInterface(FxStoreAccess)";
inline constexpr char Activate[] = "IMMDevice::Activate";

// The walk from an endpoint's topology to the jacks on the adapter's side.
inline constexpr char GetConnectorCount[] = "IDeviceTopology::GetConnectorCount";
inline constexpr char GetConnector[] = "IDeviceTopology::GetConnector";
inline constexpr char GetConnectedTo[] = "IConnector::GetConnectedTo";
inline constexpr char QueryPart[] = "IConnector::QueryInterface(IPart)";
inline constexpr char PartActivate[] = "IPart::Activate";
inline constexpr char GetJackCount[] = "IKsJackDescription::GetJackCount";
inline constexpr char GetJackDescription[] = "IKsJackDescription::GetJackDescription";

inline constexpr char EndpointStoreGetValue[] = "EndpointStore::GetValue";
inline constexpr char FxStoreGetValue[] = "FxStore::GetValue";
inline constexpr char FxStoreSetValue[] = "FxStore::SetValue";

inline constexpr char OpenFxStore[] = "FxStoreAccess::OpenFxStore";

inline constexpr char WriteEndpointFormat[] = "AudioEndpointConfig::WriteEndpointFormat";
inline constexpr char WriteEndpointProperty[] = "AudioEndpointConfig::WriteEndpointProperty";

}  // namespace sim::audio::op
