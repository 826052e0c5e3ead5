#include "sim/machine/MachineReport.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmreg.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "endpoints/EndpointInventory.h"
#include "fxstore/EffectWords.h"
#include "sim/machine/EffectKeys.h"
#include "sim/machine/Bench.h"

namespace sim::machine {
namespace {

using nlohmann::json;

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::string Format(const char* pattern, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0, unsigned long long d = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

// The kind the program's own inventory gives each endpoint on this machine.
std::map<std::wstring, INT32> Kinds(const MachineState& state) {
    std::map<std::wstring, INT32> kinds;
    Bench bench(state);
    EndpointInventory inventory;
    OpenEndpointInventory(&inventory);
    if (inventory.deviceEnumerator) {
        BuildEndpointInventory(&inventory);
    }
    for (INT_PTR i = 0; i < GetEndpointRecordCount(&inventory); ++i) {
        const EndpointRecord* record = GetEndpointRecord(&inventory, i);
        kinds[record->endpointId] = record->kind;
    }
    CloseEndpointInventory(&inventory);
    return kinds;
}

// An effect word's fields, by the program's own unpacking.
std::string Fields(const PROPERTYKEY& key, DWORD word) {
    if (IsEqualPropertyKey(key, keys::NaturalBass)) {
        NaturalBassSettings s = {};
        UnpackNaturalBass(word, &s);
        return Format("enabled %llu, bass boost %llu, bits 0-7 %llu, bits 12-15 %llu", s.enabled,
                      s.boostLevel, s.bits0to7, s.bits12to15);
    }
    if (IsEqualPropertyKey(key, keys::Headphone)) {
        HeadphoneSettings s = {};
        UnpackHeadphone(word, &s);
        return Format("enabled %llu, options %llu %llu %llu", s.enabled, s.bit0Option,
                      s.bits8to11Option, s.bits4to7Option);
    }
    if (IsEqualPropertyKey(key, keys::SoundSpaceExpander)) {
        SoundSpaceExpanderSettings s = {};
        UnpackSoundSpaceExpander(word, &s);
        return Format("enabled %llu, option %llu", s.enabled, s.bit0Option);
    }
    if (IsEqualPropertyKey(key, keys::ModeWord)) {
        ModeWordSettings s = {};
        UnpackModeWord(word, &s);
        return Format("enabled %llu, mode option %llu, bits 8-11 %llu, bits 4-6 %llu", s.enabled,
                      s.modeOption, s.bits8to11, s.bits4to6);
    }
    if (IsEqualPropertyKey(key, keys::LevelWord)) {
        LevelWordSettings s = {};
        UnpackLevelWord(word, &s);
        return Format("enabled %llu, bits 0-3 %llu", s.enabled, s.bits0to3);
    }
    return {};
}

// A value as a person reads it.
std::string Describe(const PROPERTYKEY& key, const audio::Value& value) {
    if (value.Type() == VT_UI4) {
        std::string fields = Fields(key, value.UInt32());
        return Format("0x%08llX", value.UInt32()) + (fields.empty() ? "" : "  (" + fields + ")");
    }
    if (value.Type() == VT_LPWSTR) {
        return "\"" + Utf8(value.Text()) + "\"";
    }
    if (value.Type() == VT_BLOB && value.Bytes().size() >= sizeof(WAVEFORMATEX)) {
        WAVEFORMATEXTENSIBLE format = {};
        std::memcpy(&format, value.Bytes().data(), std::min(value.Bytes().size(), sizeof format));
        return Format("%llu Hz, %llu channels, %llu bits", format.Format.nSamplesPerSec,
                      format.Format.nChannels, format.Format.wBitsPerSample) +
               (value.Bytes().size() >= sizeof format
                    ? Format(", %llu valid", format.Samples.wValidBitsPerSample)
                    : std::string());
    }
    return value.Describe();
}

}  // namespace

bool IsFxKey(const PROPERTYKEY& key) {
    for (const PROPERTYKEY* endpointKey :
         {&PKEY_AudioEndpoint_FormFactor, &PKEY_AudioEndpoint_PhysicalSpeakers,
          &PKEY_AudioEndpoint_FullRangeSpeakers, &PKEY_AudioEngine_DeviceFormat,
          &PKEY_Device_FriendlyName, &PKEY_Device_DeviceDesc}) {
        if (IsEqualPropertyKey(key, *endpointKey)) {
            return false;
        }
    }
    return true;
}

std::string Report(const MachineState& state) {
    std::map<std::wstring, INT32> kinds = Kinds(state);
    std::string out = Format("Windows %llu.%llu\n", state.windowsMajor, state.windowsMinor);
    out += "Codec driver:\n";
    for (const std::wstring& path : state.driver.interfaces) {
        out += "  interface " + Utf8(path) + "\n";
    }
    out +=
        Format("  policy %llu, jack 0x%04llX, retasking %llu/%llu", state.driver.policy,
               state.driver.jack, state.driver.retasking[0], state.driver.retasking[1]) +
        Format(", chip retasking %llu/%llu, effect support 0x%llX\n", state.driver.chipRetasking[0],
               state.driver.chipRetasking[1], state.driver.effectSupport);
    for (const EndpointState& endpoint : state.endpoints) {
        auto kind = kinds.find(endpoint.id);
        out += "\nEndpoint " + Utf8(endpoint.id) + "\n";
        out += std::string("  ") + (endpoint.flow == eCapture ? "capture" : "render") +
               Format(", state %llu, kind ", endpoint.state) +
               (kind == kinds.end() ? std::string("not listed") : std::to_string(kind->second)) +
               "\n";
        for (const PropertyEntry& entry : endpoint.properties) {
            out += "  " + KeyName(entry.key) + " = " + Describe(entry.key, entry.value) + "\n";
        }
        if (!endpoint.fx.empty()) {
            out += "  FX store:\n";
        }
        for (const PropertyEntry& entry : endpoint.fx) {
            out += "    " + KeyName(entry.key) + " = " + Describe(entry.key, entry.value) + "\n";
        }
    }
    out += "\nWrites by the program, in order:\n";
    int number = 0;
    for (const WriteEntry& write : state.writes) {
        out += Format("  %llu. ", ++number) + Utf8(write.endpointId) + " " + write.store + " " +
               KeyName(write.key) + " = " + Describe(write.key, write.value) + " via " +
               write.path + "\n";
    }
    return out;
}

std::string ReportJson(const MachineState& state) {
    std::map<std::wstring, INT32> kinds = Kinds(state);
    json root = json::parse(ToJson(state));
    for (json& endpoint : root["endpoints"]) {
        std::string name = endpoint["id"].get<std::string>();
        std::wstring id(name.begin(), name.end());
        auto kind = kinds.find(id);
        endpoint["kind"] = kind == kinds.end() ? json(nullptr) : json(kind->second);
    }
    for (size_t i = 0; i < state.endpoints.size(); ++i) {
        json decoded = json::object();
        for (const PropertyEntry& entry : state.endpoints[i].fx) {
            if (entry.value.Type() == VT_UI4) {
                std::string fields = Fields(entry.key, entry.value.UInt32());
                if (!fields.empty()) {
                    decoded[KeyName(entry.key)] = fields;
                }
            }
        }
        root["endpoints"][i]["decoded"] = decoded;
    }
    return root.dump(2) + "\n";
}

}  // namespace sim::machine
