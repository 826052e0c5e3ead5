// The reads and writes of the stores as the model follows them: the FX store handle, a device's
// own store, the writers by device id and the endpoint writers, the format check and the forced
// format, and the change notifications the writes cause.
#include <mmdeviceapi.h>

#include "bench/sweep/RulesModel.h"
#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

namespace {

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

// The refresh a change asks the page for, by the key's format id; 0 for none.
int RefreshKindOf(const PROPERTYKEY& key) {
    const GUID& set = key.fmtid;
    if (IsEqualGUID(set, PKEY_AudioEndpoint_FormFactor.fmtid)) {
        return kRefreshBypass;
    }
    if (IsEqualGUID(set, keys::Headphone.fmtid) ||
        IsEqualGUID(set, keys::SoundSpaceExpander.fmtid) ||
        IsEqualGUID(set, keys::NaturalBass.fmtid)) {
        return kRefreshEffects;
    }
    return IsEqualGUID(set, keys::JackChange.fmtid) ? kRefreshJack : 0;
}

}  // namespace

const sim::machine::EndpointState* RulesModel::Endpoint(const std::wstring& id) const {
    for (const auto& endpoint : m_machine.endpoints) {
        if (endpoint.id == id) {
            return &endpoint;
        }
    }
    return nullptr;
}

RulesModel::Properties& RulesModel::StoreOf(Store store) {
    return m_stores[store == Store::Fx ? 1 : 0];
}

const Value* RulesModel::Stored(Store store, const PROPERTYKEY& key) {
    for (auto& [storedKey, value] : StoreOf(store)) {
        if (SameKey(storedKey, key)) {
            return &value;
        }
    }
    return nullptr;
}

void RulesModel::Put(Store store, const PROPERTYKEY& key, const Value& value) {
    for (auto& [storedKey, stored] : StoreOf(store)) {
        if (SameKey(storedKey, key)) {
            stored = value;
            return;
        }
    }
    StoreOf(store).emplace_back(key, value);
}

Reading RulesModel::ReadFx(const PROPERTYKEY& key, const std::string& serves) {
    Answer read = Call("FxStore::GetValue " + KeyText(key), true, serves);
    if (read == Answer::Failure) {
        return {Reading::Failed, Value()};
    }
    const Value* value = read == Answer::Ordinary ? Stored(Store::Fx, key) : nullptr;
    return value ? Reading{Reading::Found, *value} : Reading{Reading::Empty, Value()};
}

// Enumerator and device for the page's endpoint; a device the enumerator answers with none is a
// failure.
Reading RulesModel::ReadEndpoint(const PROPERTYKEY& key, const std::string& serves) {
    if (!Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, serves + ": an enumerator")) ||
        !Ok(Call("IMMDeviceEnumerator::GetDevice", true, serves + ": the endpoint's device"))) {
        return {Reading::Failed, Value()};
    }
    return ReadDeviceStore(m_endpointId, key, serves);
}

// The store of an endpoint removed while it was asked holds nothing; a removed endpoint's device
// cannot open one.
Reading RulesModel::ReadDeviceStore(const std::wstring& device, const PROPERTYKEY& key,
                                    const std::string& serves) {
    Answer opened = Call("IMMDevice::OpenPropertyStore", true, serves + ": the device's store");
    if (opened == Answer::Failure || !Endpoint(device)) {
        return {Reading::Failed, Value()};
    }
    Answer read = Call("EndpointStore::GetValue " + KeyText(key), true, serves);
    if (read == Answer::Failure) {
        return {Reading::Failed, Value()};
    }
    if (read == Answer::Unusable || opened == Answer::Unusable) {
        return {Reading::Empty, Value()};
    }
    const Value* value = nullptr;
    if (device == m_endpointId && m_plan.sheetShown) {
        value = Stored(Store::Endpoint, key);  // as the run has changed it
    } else {
        for (const auto& entry : Endpoint(device)->properties) {
            value = SameKey(entry.key, key) ? &entry.value : value;
        }
    }
    return value ? Reading{Reading::Found, *value} : Reading{Reading::Empty, Value()};
}

// The writing pattern of the effect words: the page's device id, then the version, the
// configuration object and the write. Nothing without the device or its id.
bool RulesModel::WriteWord(const PROPERTYKEY& key, DWORD word, const std::string& serves) {
    if (!m_device) {
        return false;
    }
    Answer id = Call("IMMDevice::GetId", true, serves + ": the device's id");
    if (id == Answer::Failure) {
        return false;
    }
    std::wstring endpoint = m_endpointId;
    if (id == Answer::Unusable) {
        if (!Takes(Departure::EmptyIdIsWritten)) {
            return false;
        }
        endpoint.clear();
    }
    bool vista = false;
    if (!WindowsGeneration(serves, &vista) ||
        !Ok(Call("CoCreateInstance(AudioEndpointConfig)", false,
                 serves + ": the configuration object"))) {
        return false;
    }
    Answer written =
        Call("AudioEndpointConfig::WriteEndpointProperty " + KeyText(key), false, serves);
    bool accepted = Ok(written) && Endpoint(endpoint);
    Log(Store::Fx, key, Value::UInt32(word),
        vista ? WriteOrigin::ConfigVista : WriteOrigin::Config7, vista ? 11 : 12, accepted,
        endpoint);
    return accepted;
}

// The endpoint writers of the forced format: the version and the configuration object first,
// then the device's id and the write. An empty id reaches the service, which refuses it.
bool RulesModel::WriteEndpoint(const PROPERTYKEY& key, const Value& value,
                               const std::string& serves) {
    bool vista = false;
    if (!WindowsGeneration(serves, &vista) ||
        !Ok(Call("CoCreateInstance(AudioEndpointConfig)", false,
                 serves + ": the configuration object"))) {
        return false;
    }
    Answer id = Call("IMMDevice::GetId", true, serves + ": the device's id");
    if (id == Answer::Failure) {
        return false;
    }
    std::wstring endpoint = id == Answer::Unusable ? std::wstring() : m_endpointId;
    bool format = SameKey(key, PKEY_AudioEngine_DeviceFormat);
    Answer written = Call(format ? std::string("AudioEndpointConfig::WriteEndpointFormat")
                                 : "AudioEndpointConfig::WriteEndpointProperty " + KeyText(key),
                          false, serves);
    bool accepted = Ok(written) && Endpoint(endpoint);
    Log(Store::Endpoint, key, value, vista ? WriteOrigin::ConfigVista : WriteOrigin::Config7,
        format ? (vista ? 5 : 6) : (vista ? 11 : 12), accepted, endpoint);
    return accepted;
}

// A write as the service logs it; an accepted one is stored, and told to the clients.
void RulesModel::Log(Store store, const PROPERTYKEY& key, const Value& value, WriteOrigin origin,
                     int slot, bool accepted, const std::wstring& endpoint) {
    m_plan.parts.back().push_back({store, key, value, origin, slot, accepted, endpoint});
    if (accepted && endpoint == m_endpointId) {
        Put(store, key, value);
        Notify(key);
    }
}

// Only a change of the endpoint the page shows reaches it, once its callback is listed and the
// client registered.
void RulesModel::Notify(const PROPERTYKEY& key) {
    int kind = RefreshKindOf(key);
    if (kind && m_client && m_listening) {
        m_told.push_back(kind);
    }
}

// Switching an effect on: a format other than 44100 or 48000 Hz at 16 or 24 bits is forced; one
// that cannot be read is left alone.
void RulesModel::CheckFormat() {
    Reading format = ReadEndpoint(PKEY_AudioEngine_DeviceFormat, "the format check");
    if (format.Succeeded() && rules::FormatNeedsForcing(rules::ReadFormat(format.value))) {
        ForceFormat();
    }
}

bool RulesModel::ForceFormat() {
    const std::string who = "the forced format";
    if (!Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, who + ": an enumerator")) ||
        !Ok(Call("IMMDeviceEnumerator::GetDevice", true, who + ": the endpoint's device"))) {
        return false;
    }
    Reading stored = ReadDeviceStore(m_endpointId, PKEY_AudioEngine_DeviceFormat, who);
    if (!stored.Succeeded()) {
        return false;
    }
    std::optional<Value> forced;
    if (stored.outcome != Reading::Found || !(forced = rules::ForcedFormat(stored.value))) {
        return true;  // no format to change
    }
    if (!WriteEndpoint(PKEY_AudioEngine_DeviceFormat, *forced, who + ": the format")) {
        return false;
    }
    Reading formFactor =
        ReadDeviceStore(m_endpointId, PKEY_AudioEndpoint_FormFactor, who + ": the form factor");
    if (!formFactor.Succeeded()) {
        return false;
    }
    if (formFactor.Payload() != rules::kSpeakers) {
        return true;
    }
    WriteEndpoint(PKEY_AudioEndpoint_PhysicalSpeakers, Value::UInt32(3),
                  who + ": the physical speakers");
    return WriteEndpoint(PKEY_AudioEndpoint_FullRangeSpeakers, Value::UInt32(3),
                         who + ": the full-range speakers");
}

}  // namespace sweep
