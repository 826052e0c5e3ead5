#include "sim/machine/MachineState.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmreg.h>

namespace sim::machine {

using audio::Value;

EndpointState* MachineState::Find(const std::wstring& id) {
    for (EndpointState& endpoint : endpoints) {
        if (endpoint.id == id) {
            return &endpoint;
        }
    }
    return nullptr;
}

EndpointState* MachineState::FindByIdOrName(const std::wstring& idOrName) {
    if (EndpointState* endpoint = Find(idOrName)) {
        return endpoint;
    }
    for (EndpointState& endpoint : endpoints) {
        PropertyEntry* name = FindEntry(endpoint.properties, PKEY_Device_FriendlyName);
        if (name && name->value.Type() == VT_LPWSTR && name->value.Text() == idOrName) {
            return &endpoint;
        }
    }
    return nullptr;
}

PropertyEntry* FindEntry(std::vector<PropertyEntry>& entries, const PROPERTYKEY& key) {
    for (PropertyEntry& entry : entries) {
        if (IsEqualPropertyKey(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

void PutEntry(std::vector<PropertyEntry>& entries, const PROPERTYKEY& key, Value value) {
    if (PropertyEntry* entry = FindEntry(entries, key)) {
        entry->value = std::move(value);
    } else {
        entries.push_back({key, std::move(value)});
    }
}

Value DeviceFormat(DWORD sampleRate, WORD validBits) {
    WAVEFORMATEXTENSIBLE format = {};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = sampleRate;
    format.Format.wBitsPerSample = validBits <= 16 ? 16 : 32;
    format.Format.nBlockAlign = static_cast<WORD>(2 * format.Format.wBitsPerSample / 8);
    format.Format.nAvgBytesPerSec = sampleRate * format.Format.nBlockAlign;
    format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = validBits;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = {
        0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    return Value::Blob(&format, sizeof format);
}

}  // namespace sim::machine
