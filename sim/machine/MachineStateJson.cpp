// The state file's text and back: ToJson and FromJson.
#include "sim/machine/MachineState.h"

#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>

#include "sim/machine/Utf8Text.h"

namespace sim::machine {
namespace {

using audio::Value;
using nlohmann::json;

std::string Hex(const std::vector<BYTE>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (BYTE b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool FromHex(const std::string& text, std::vector<BYTE>* bytes) {
    if (text.size() % 2) {
        return false;
    }
    bytes->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        bytes->push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return true;
}

// A field of the file that is not what it must be; its text names the field.
struct FieldError {
    std::string text;
};

// A whole number from 0 to the largest T, or a FieldError naming the field.
template <typename T>
T Whole(const json& node, const std::string& name) {
    constexpr unsigned long long largest = std::numeric_limits<T>::max();
    if (!node.is_number_unsigned() || node.get<unsigned long long>() > largest) {
        throw FieldError{name + " must be a whole number from 0 to " + std::to_string(largest)};
    }
    return static_cast<T>(node.get<unsigned long long>());
}

// "major.minor", each part digits only.
bool ParseVersion(const std::string& text, DWORD* major, DWORD* minor) {
    size_t dot = text.find('.');
    auto part = [&](const std::string& digits, DWORD* number) {
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        *number = static_cast<DWORD>(std::stoul(digits));
        return true;
    };
    return dot != std::string::npos && part(text.substr(0, dot), major) &&
           part(text.substr(dot + 1), minor);
}

json ValueToJson(const Value& value) {
    switch (value.Type()) {
        case VT_UI4: return value.UInt32();
        case VT_LPWSTR: return Utf8(value.Text());
        case VT_BLOB: return json{{"blob", Hex(value.Bytes())}};
        default: break;
    }
    if (audio::ScalarSize(value.Type()) || value.Type() == VT_EMPTY || value.Type() == VT_NULL) {
        // The scalar's payload, read back through a PROPVARIANT.
        PROPVARIANT variant;
        value.ToPropVariant(&variant);
        ULONGLONG payload = variant.uhVal.QuadPart;
        PropVariantClear(&variant);
        return json{{"vt", value.Type()}, {"value", payload}};
    }
    return json{{"vt", value.Type()}, {"bytes", Hex(value.Bytes())}};
}

bool ValueFromJson(const json& node, Value* value) {
    if (node.is_number_unsigned() || node.is_number_integer()) {
        long long number = node.get<long long>();
        if (number < 0 || number > 0xFFFFFFFFLL) {
            return false;
        }
        *value = Value::UInt32(static_cast<ULONG>(number));
        return true;
    }
    if (node.is_string()) {
        *value = Value::String(Wide(node.get<std::string>()));
        return true;
    }
    if (!node.is_object()) {
        return false;
    }
    std::vector<BYTE> bytes;
    if (node.contains("blob")) {
        if (!node["blob"].is_string() || !FromHex(node["blob"].get<std::string>(), &bytes)) {
            return false;
        }
        *value = Value::Blob(bytes);
        return true;
    }
    if (!node.contains("vt") || !node["vt"].is_number_unsigned()) {
        return false;
    }
    if (node["vt"].get<unsigned long long>() > 0xFFFF) {
        return false;
    }
    auto type = static_cast<VARTYPE>(node["vt"].get<unsigned>());
    if (node.contains("value")) {
        // The payload as the file keeps it: unsigned, and no wider than the type.
        size_t size = audio::ScalarSize(type);
        unsigned long long largest = size >= 8 ? ~0ULL : (1ULL << (8 * size)) - 1;
        if (!size || !node["value"].is_number_unsigned() ||
            node["value"].get<unsigned long long>() > largest) {
            return false;
        }
        *value = Value::Scalar(type, node["value"].get<unsigned long long>());
        return true;
    }
    if (type == VT_EMPTY || type == VT_NULL) {
        *value = Value::Scalar(type, 0);
        return true;
    }
    if (!node.contains("bytes") || !node["bytes"].is_string() ||
        !FromHex(node["bytes"].get<std::string>(), &bytes)) {
        return false;
    }
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = type;
    if (type == VT_CLSID && bytes.size() == sizeof(CLSID)) {
        variant.puuid = reinterpret_cast<CLSID*>(bytes.data());
    } else if ((type & VT_VECTOR) && audio::ScalarSize(type & VT_TYPEMASK)) {
        variant.caub.cElems =
            static_cast<ULONG>(bytes.size() / audio::ScalarSize(type & VT_TYPEMASK));
        variant.caub.pElems = bytes.data();
    } else {
        return false;
    }
    return SUCCEEDED(Value::FromPropVariant(variant, value));
}

json EntriesToJson(const std::vector<PropertyEntry>& entries) {
    json node = json::object();
    for (const PropertyEntry& entry : entries) {
        node[KeyName(entry.key)] = ValueToJson(entry.value);
    }
    return node;
}

bool EntriesFromJson(const json& node, std::vector<PropertyEntry>* entries, std::string* error) {
    if (!node.is_object()) {
        *error = "a property list must be an object";
        return false;
    }
    for (auto& [name, item] : node.items()) {
        PROPERTYKEY key;
        Value value;
        if (!ParseKey(name, &key)) {
            *error = "unknown key " + name;
            return false;
        }
        if (!ValueFromJson(item, &value)) {
            *error = "malformed value of " + name;
            return false;
        }
        PutEntry(*entries, key, value);
    }
    return true;
}

const char* FlowName(EDataFlow flow) {
    return flow == eCapture ? "capture" : "render";
}

const char* StateName(DWORD state) {
    switch (state) {
        case DEVICE_STATE_DISABLED: return "disabled";
        case DEVICE_STATE_NOTPRESENT: return "notpresent";
        case DEVICE_STATE_UNPLUGGED: return "unplugged";
        default: return "active";
    }
}

bool ParseState(const std::string& name, DWORD* state) {
    for (DWORD candidate : {DEVICE_STATE_ACTIVE, DEVICE_STATE_DISABLED, DEVICE_STATE_NOTPRESENT,
                            DEVICE_STATE_UNPLUGGED}) {
        if (name == StateName(candidate)) {
            *state = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ToJson(const MachineState& state) {
    json root;
    root["windows"] = std::to_string(state.windowsMajor) + "." + std::to_string(state.windowsMinor);
    json driver;
    json interfaces = json::array();
    for (const std::wstring& path : state.driver.interfaces) {
        interfaces.push_back(Utf8(path));
    }
    driver["interfaces"] = interfaces;
    driver["policy"] = state.driver.policy;
    driver["jack"] = state.driver.jack;
    driver["retasking"] = {state.driver.retasking[0], state.driver.retasking[1]};
    driver["chipRetasking"] = {state.driver.chipRetasking[0], state.driver.chipRetasking[1]};
    driver["effectSupport"] = state.driver.effectSupport;
    root["driver"] = driver;
    json endpoints = json::array();
    for (const EndpointState& endpoint : state.endpoints) {
        json node;
        node["id"] = Utf8(endpoint.id);
        node["flow"] = FlowName(endpoint.flow);
        node["state"] = StateName(endpoint.state);
        node["properties"] = EntriesToJson(endpoint.properties);
        node["fx"] = EntriesToJson(endpoint.fx);
        if (endpoint.jack) {
            node["jack"] = {{"connection", endpoint.jack->ConnectionType},
                            {"location", endpoint.jack->GeoLocation}};
        }
        endpoints.push_back(node);
    }
    root["endpoints"] = endpoints;
    json writes = json::array();
    for (const WriteEntry& write : state.writes) {
        writes.push_back({{"endpoint", Utf8(write.endpointId)},
                          {"store", write.store},
                          {"key", KeyName(write.key)},
                          {"value", ValueToJson(write.value)},
                          {"path", write.path}});
    }
    root["writes"] = writes;
    return root.dump(2) + "\n";
}

bool FromJson(const std::string& text, MachineState* state, std::string* error) {
    json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        *error = "the state file is not a JSON object";
        return false;
    }
    MachineState parsed;
    parsed.driver.interfaces.clear();
    try {
        std::string windows = root.value("windows", "6.1");
        if (!ParseVersion(windows, &parsed.windowsMajor, &parsed.windowsMinor)) {
            *error = "windows must be major.minor, not " + windows;
            return false;
        }
        const json& driver = root.at("driver");
        for (const json& path : driver.at("interfaces")) {
            parsed.driver.interfaces.push_back(Wide(path.get<std::string>()));
        }
        parsed.driver.policy = Whole<DWORD>(driver.at("policy"), "policy");
        parsed.driver.jack = Whole<WORD>(driver.at("jack"), "jack");
        for (int i = 0; i < 2; ++i) {
            parsed.driver.retasking[i] = Whole<DWORD>(driver.at("retasking").at(i), "retasking");
            parsed.driver.chipRetasking[i] =
                Whole<DWORD>(driver.at("chipRetasking").at(i), "chipRetasking");
        }
        parsed.driver.effectSupport = Whole<DWORD>(driver.at("effectSupport"), "effectSupport");
        for (const json& node : root.at("endpoints")) {
            EndpointState endpoint;
            endpoint.id = Wide(node.at("id").get<std::string>());
            std::string flow = node.value("flow", "render");
            if (flow != "render" && flow != "capture") {
                *error = "unknown data flow " + flow;
                return false;
            }
            endpoint.flow = flow == "capture" ? eCapture : eRender;
            if (!ParseState(node.value("state", "active"), &endpoint.state)) {
                *error = "unknown device state " + node.value("state", "");
                return false;
            }
            if (node.contains("properties") &&
                !EntriesFromJson(node["properties"], &endpoint.properties, error)) {
                return false;
            }
            if (node.contains("fx") && !EntriesFromJson(node["fx"], &endpoint.fx, error)) {
                return false;
            }
            if (node.contains("jack")) {
                KSJACK_DESCRIPTION jack = {};
                jack.ConnectionType = static_cast<EPcxConnectionType>(
                    Whole<INT32>(node["jack"].at("connection"), "jack connection"));
                jack.GeoLocation = static_cast<EPcxGeoLocation>(
                    Whole<INT32>(node["jack"].at("location"), "jack location"));
                jack.IsConnected = TRUE;
                endpoint.jack = jack;
            }
            parsed.endpoints.push_back(std::move(endpoint));
        }
        if (root.contains("writes")) {
            for (const json& node : root["writes"]) {
                WriteEntry write;
                write.endpointId = Wide(node.at("endpoint").get<std::string>());
                write.store = node.at("store").get<std::string>();
                write.path = node.value("path", "");
                if (!ParseKey(node.at("key").get<std::string>(), &write.key) ||
                    !ValueFromJson(node.at("value"), &write.value)) {
                    *error = "malformed write entry";
                    return false;
                }
                parsed.writes.push_back(std::move(write));
            }
        }
    } catch (const json::exception& e) {
        *error = std::string("malformed state file: ") + e.what();
        return false;
    } catch (const FieldError& e) {
        *error = e.text;
        return false;
    }
    *state = std::move(parsed);
    return true;
}

}  // namespace sim::machine
