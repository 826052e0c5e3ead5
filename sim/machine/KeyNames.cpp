// Key names the state file and the command line use: KeyName and ParseKey.
#include "sim/machine/MachineState.h"

#include <functiondiscoverykeys_devpkey.h>

#include <cstdlib>

#include "sim/machine/EffectKeys.h"
#include "sim/machine/Utf8Text.h"

namespace sim::machine {
namespace {

struct NamedKey {
    const char* name;
    const PROPERTYKEY* key;
};

const NamedKey kKeys[] = {
    {"PKEY_Xan_SoundSpaceExpander", &keys::SoundSpaceExpander},
    {"PKEY_Xan_Headphone", &keys::Headphone},
    {"PKEY_Xan_NaturalBass", &keys::NaturalBass},
    {"PKEY_Xan_ModeWord", &keys::ModeWord},
    {"PKEY_Xan_LevelWord", &keys::LevelWord},
    {"PKEY_Xan_HeadphoneSelector", &keys::HeadphoneSelector},
    {"PKEY_Xan_FirstRunMarker", &keys::FirstRunMarker},
    {"PKEY_Xan_JackChange", &keys::JackChange},
    {"PKEY_AudioEndpoint_Disable_SysFx", &PKEY_AudioEndpoint_Disable_SysFx},
    {"PKEY_AudioEndpoint_FormFactor", &PKEY_AudioEndpoint_FormFactor},
    {"PKEY_AudioEndpoint_PhysicalSpeakers", &PKEY_AudioEndpoint_PhysicalSpeakers},
    {"PKEY_AudioEndpoint_FullRangeSpeakers", &PKEY_AudioEndpoint_FullRangeSpeakers},
    {"PKEY_AudioEngine_DeviceFormat", &PKEY_AudioEngine_DeviceFormat},
    {"PKEY_Device_FriendlyName", &PKEY_Device_FriendlyName},
    {"PKEY_Device_DeviceDesc", &PKEY_Device_DeviceDesc},
};

}  // namespace

std::string KeyName(const PROPERTYKEY& key) {
    for (const NamedKey& named : kKeys) {
        if (IsEqualPropertyKey(*named.key, key)) {
            return named.name;
        }
    }
    wchar_t guid[64] = {};
    StringFromGUID2(key.fmtid, guid, 64);
    return Utf8(guid) + "," + std::to_string(key.pid);
}

bool ParseKey(const std::string& name, PROPERTYKEY* key) {
    for (const NamedKey& named : kKeys) {
        if (name == named.name) {
            *key = *named.key;
            return true;
        }
    }
    size_t comma = name.find(',');
    if (comma == std::string::npos || name.front() != '{') {
        return false;
    }
    std::wstring guid = Wide(name.substr(0, comma));
    char* end = nullptr;
    std::string pid = name.substr(comma + 1);
    unsigned long number = std::strtoul(pid.c_str(), &end, 10);
    if (pid.empty() || *end || FAILED(CLSIDFromString(guid.c_str(), &key->fmtid))) {
        return false;
    }
    key->pid = number;
    return true;
}

}  // namespace sim::machine
