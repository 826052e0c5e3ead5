// Endpoint ids, friendly names and descriptions of any length and any units, up to and past the
// 260 units of a record's field, with any form factor and any jack description, through the
// inventory's build. An id too long for a record skips the endpoint; a name (a VT_LPWSTR or a
// VT_BSTR) is cut to 259 units, or reads "<Device not available>" when the value holds no string;
// the kind follows from the names as kept, the form factor and the jack. The service's ids and
// strings are guarded blocks.
#include <windows.h>
#include <functiondiscoverykeys_devpkey.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/badinput/GuardingMallocSpy.h"
#include "bench/badinput/Kinds.h"
#include "bench/badinput/PropertyInputs.h"
#include "endpoints/EndpointInventory.h"
#include "sim/audio/AudioService.h"

namespace badinput {
namespace {

using sim::audio::Store;
using sim::audio::Value;

constexpr size_t kInputsPerService = 500;
constexpr size_t kFieldUnits = 260;
const std::wstring kNotAvailable = L"<Device not available>";

// Names the classification looks for, mixed into the random ones.
const std::vector<std::wstring> kNameParts = {L"XAN", L"Mono",      L"Internal Speaker", L"TX0",
                                              L"TX1", L"Front Mic", L"Enhanced",         L"CD"};

std::wstring AnyText(Random& random, size_t length, bool zeros) {
    std::wstring text(length, L'\0');
    for (wchar_t& unit : text) {
        unit = random.OneIn(3) ? static_cast<wchar_t>(random.Between(0x20, 0x7E))
                               : static_cast<wchar_t>(random.Between(1, 0xFFFF));
        if (zeros && random.OneIn(200)) {
            unit = L'\0';
        }
    }
    // The maker's mark in every other name, so that its rules run as often as the others.
    for (size_t parts = random.Between(0, 3); parts > 0; --parts) {
        const std::wstring& part = random.OneIn(2) ? kNameParts[0] : random.Pick(kNameParts);
        if (length >= part.size()) {
            text.replace(random.Between(0, length - part.size()), part.size(), part);
        }
    }
    return text;
}

size_t AnyLength(Random& random) {
    switch (random.Between(0, 3)) {
        case 0: return random.Between(0, 40);
        case 1: return random.Between(kFieldUnits - 4, kFieldUnits + 4);
        case 2: return random.Between(kFieldUnits + 5, 1200);
        default: return random.Between(0, kFieldUnits);
    }
}

// A name property: a string (its text as read, up to its first 0, cut to fit the field), a value
// of another type, or none. Names are VT_LPWSTR or VT_BSTR: a value of any other type, ANSI text
// and a vector of strings included, holds no name a record can take.
struct Name {
    bool present;
    Value value;
    std::wstring expected;
};

// A name as a record keeps it: up to its first 0, cut to fit the field.
std::wstring AsKept(const std::wstring& text) {
    return text.substr(0, text.find(L'\0')).substr(0, kFieldUnits - 1);
}

Name MakeName(Random& random) {
    switch (random.Between(0, 11)) {
        case 0: return {false, Value(), kNotAvailable};
        case 1: return {true, Value::UInt32(random.Word()), kNotAvailable};
        case 2: return {true, Value::Blob(random.Bytes(random.Between(0, 600))), kNotAvailable};
        case 3: {
            std::wstring text = AnyText(random, AnyLength(random), true);
            switch (random.Between(0, 1)) {
                case 0:
                    return {true, Value::AnsiString(std::string(text.size(), 'X')), kNotAvailable};
                default:
                    return {true, Value::VectorOf(VT_LPWSTR, {Value::String(text)}), kNotAvailable};
            }
        }
        case 4: {
            Value value = MakePropertyInput(random, false).value;
            if (value.Type() == VT_LPWSTR || value.Type() == VT_BSTR) {
                return {true, value, AsKept(value.Text())};
            }
            return {true, value, kNotAvailable};
        }
        default: {
            std::wstring text = AnyText(random, AnyLength(random), true);
            // A name may come as a BSTR: text all the same.
            return {true, random.OneIn(4) ? Value::Bstr(text) : Value::String(text), AsKept(text)};
        }
    }
}

struct Endpoint {
    std::wstring id;
    EDataFlow flow;
    DWORD state;
    Name friendlyName;
    Name description;
    Value formFactorValue;
    ULONG formFactor;  // as the program must read it
    UINT connectors;
    UINT jacks;
    KSJACK_DESCRIPTION jack;
};

// The jack a connection and a location of any value, listed ones mostly.
KSJACK_DESCRIPTION AnyJack(Random& random) {
    KSJACK_DESCRIPTION jack = {};
    jack.ChannelMapping = random.Word();
    jack.Color = random.Word();
    jack.ConnectionType = static_cast<EPcxConnectionType>(
        random.OneIn(8) ? random.Word() : random.Between(0, eConnTypeOtherDigital + 1));
    jack.GeoLocation = static_cast<EPcxGeoLocation>(
        random.OneIn(8) ? random.Word() : random.Between(0, eGeoLocHDMI + 1));
    jack.GenLocation = static_cast<EPcxGenLocation>(random.Between(0, 4));
    jack.PortConnection = static_cast<EPxcPortConnection>(random.Between(0, 4));
    jack.IsConnected = random.OneIn(2);
    return jack;
}

bool Has(const std::wstring& text, const wchar_t* part) {
    return text.find(part) != std::wstring::npos;
}

// The kinds the classification hands out, by number.
enum : INT32 {
    kKindSpeakers = 0,
    kKindHeadphones = 1,
    kKindSpdifTx0 = 2,
    kKindHdmiTx0 = 3,
    kKindSpdifTx1 = 4,
    kKindHdmiTx1 = 5,
    kKindOtherHdmi = 6,
    kKindMono = 7,
    kKindMic = 8,
    kKindLine = 9,
    kKindLineJack = 10,
    kKindSpdifIn = 11,
    kKindFrontMic = 12,
    kKindCd = 13,
    kKindDigitalMic = 15,
    kKindOther = 16,
};

// The kind, worked out afresh from the names as the record keeps them.
INT32 ReferenceKind(const Endpoint& endpoint, EDataFlow flow) {
    const std::wstring& name = endpoint.friendlyName.expected;
    const std::wstring& description = endpoint.description.expected;
    bool jack = endpoint.connectors > 0 && endpoint.jacks > 0;
    EPcxConnectionType connection = endpoint.jack.ConnectionType;
    bool tx1Only = !Has(name, L"TX0") && Has(name, L"TX1");
    if (!Has(name, L"XAN")) {
        switch (endpoint.formFactor) {
            case SPDIF:
                if (flow == eCapture) {
                    return kKindSpeakers;  // left as the zeroed record has it
                }
                return jack && endpoint.jack.GeoLocation == eGeoLocHDMI ? kKindOtherHdmi
                                                                        : kKindOther;
            case DigitalAudioDisplayDevice: return kKindOtherHdmi;
            default: return kKindOther;
        }
    }
    switch (endpoint.formFactor) {
        case Speakers: return Has(description, L"Mono") ? kKindMono : kKindSpeakers;
        case Headphones:
            return Has(description, L"Internal Speaker") ? kKindSpeakers : kKindHeadphones;
        case SPDIF:
            return flow == eCapture ? kKindSpdifIn : tx1Only ? kKindSpdifTx1 : kKindSpdifTx0;
        case DigitalAudioDisplayDevice: return tx1Only ? kKindHdmiTx1 : kKindHdmiTx0;
        case Microphone:
            if (Has(name, L"Front Mic")) {
                return kKindFrontMic;
            }
            if (Has(name, L"Enhanced")) {
                return kKindOther;
            }
            if (jack && connection == eConnTypeOtherAnalog) {
                return kKindFrontMic;
            }
            return jack && connection == eConnTypeOtherDigital ? kKindDigitalMic : kKindMic;
        case LineLevel:
            if (Has(name, L"CD")) {
                return kKindCd;
            }
            return jack && connection == eConnType3Point5mm ? kKindLineJack : kKindLine;
        case Headset: return Has(description, L"Mono") ? kKindMono : kKindFrontMic;
        case UnknownFormFactor: return Has(name, L"CD") ? kKindCd : kKindLine;
        default: return kKindSpeakers;  // left as the zeroed record has it
    }
}

std::vector<Endpoint> MakeEndpoints(Random& random, size_t input) {
    std::vector<Endpoint> endpoints;
    static const DWORD kStates[] = {DEVICE_STATE_ACTIVE, DEVICE_STATE_DISABLED,
                                    DEVICE_STATE_UNPLUGGED, DEVICE_STATE_NOTPRESENT,
                                    DEVICE_STATE_ACTIVE | DEVICE_STATE_NOTPRESENT};
    for (size_t n = random.Between(1, 4); n > 0; --n) {
        Endpoint endpoint;
        endpoint.flow = random.OneIn(2) ? eRender : eCapture;
        endpoint.state = kStates[random.Between(0, sizeof kStates / sizeof *kStates - 1)];
        if (!endpoints.empty() && random.OneIn(5)) {
            // Listed twice: the same endpoint, so the same names.
            const Endpoint& original = endpoints[random.Between(0, endpoints.size() - 1)];
            endpoint.id = original.id;
            endpoint.friendlyName = original.friendlyName;
            endpoint.description = original.description;
            endpoint.formFactorValue = original.formFactorValue;
            endpoint.formFactor = original.formFactor;
            endpoint.connectors = original.connectors;
            endpoint.jacks = original.jacks;
            endpoint.jack = original.jack;
            endpoints.push_back(std::move(endpoint));
            continue;
        }
        // Unique within the service's life: the input number leads or ends the id.
        std::wstring mark =
            L"#" + std::to_wstring(input) + L"." + std::to_wstring(endpoints.size()) + L"#";
        std::wstring text = AnyText(random, AnyLength(random), false);
        endpoint.id = random.OneIn(2) ? mark + text : text + mark;
        endpoint.friendlyName = MakeName(random);
        endpoint.description = MakeName(random);
        // Mostly a listed number; otherwise a value of any type, of which a reader takes the
        // number it carries, and the unknown form factor (10) when it carries none or cannot be
        // read.
        if (random.OneIn(4)) {
            PropertyInput value = MakePropertyInput(random, false);
            endpoint.formFactorValue = value.value;
            endpoint.formFactor = value.readable && value.hasNumber ? value.number : 10;
        } else {
            endpoint.formFactor = static_cast<ULONG>(random.Between(0, 11));
            endpoint.formFactorValue = Value::UInt32(endpoint.formFactor);
        }
        endpoint.connectors = static_cast<UINT>(random.OneIn(6) ? 0 : random.Between(1, 2));
        endpoint.jacks = static_cast<UINT>(random.OneIn(4) ? 0 : random.Between(1, 3));
        endpoint.jack = AnyJack(random);
        endpoints.push_back(std::move(endpoint));
    }
    return endpoints;
}

// The records Build must make: render endpoints first, then capture, in the order listed; one
// per id, and none for an id of 260 units or more.
struct ExpectedRecord {
    const Endpoint* endpoint;
    EDataFlow flow;
};

std::vector<ExpectedRecord> ExpectedRecords(const std::vector<Endpoint>& endpoints) {
    std::vector<ExpectedRecord> records;
    constexpr DWORD kListed = DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED;
    for (EDataFlow flow : {eRender, eCapture}) {
        for (const Endpoint& listing : endpoints) {
            if (listing.flow != flow || !(listing.state & kListed) ||
                listing.id.size() >= kFieldUnits) {
                continue;
            }
            bool recorded = false;
            for (const ExpectedRecord& record : records) {
                recorded |= record.endpoint->id == listing.id;
            }
            if (!recorded) {
                records.push_back({&listing, flow});
            }
        }
    }
    return records;
}

void RunInput(Random& random, size_t index, sim::audio::AudioService& service, Tally& tally) {
    std::vector<Endpoint> endpoints = MakeEndpoints(random, index);
    for (const Endpoint& endpoint : endpoints) {
        service.AddEndpoint(endpoint.id, endpoint.flow, endpoint.state);
    }
    for (const Endpoint& endpoint : endpoints) {
        for (auto [key, name] : {std::pair{&PKEY_Device_FriendlyName, &endpoint.friendlyName},
                                 std::pair{&PKEY_Device_DeviceDesc, &endpoint.description}}) {
            if (name->present) {
                service.SetProperty(Store::Endpoint, endpoint.id, *key, name->value);
            }
        }
        service.SetProperty(Store::Endpoint, endpoint.id, PKEY_AudioEndpoint_FormFactor,
                            endpoint.formFactorValue);
        service.SetConnectorCount(endpoint.id, endpoint.connectors);
        service.SetJack(endpoint.id, endpoint.jack, endpoint.jacks);
    }
    std::vector<ExpectedRecord> expected = ExpectedRecords(endpoints);

    std::vector<std::string> mismatches;
    {
        ScopedCoTaskMemGuard guard;
        EndpointInventory inventory;
        CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                         reinterpret_cast<void**>(&inventory.deviceEnumerator));
        BuildEndpointInventory(&inventory);
        INT_PTR count = GetEndpointRecordCount(&inventory);
        if (count != static_cast<INT_PTR>(expected.size())) {
            mismatches.push_back(std::to_string(count) + " records, expected " +
                                 std::to_string(expected.size()));
        }
        for (INT_PTR i = 0; i < count && i < static_cast<INT_PTR>(expected.size()); ++i) {
            const EndpointRecord* record = GetEndpointRecord(&inventory, i);
            const Endpoint& endpoint = *expected[i].endpoint;
            if (endpoint.id != record->endpointId ||
                record->dataFlow != static_cast<UINT32>(expected[i].flow)) {
                mismatches.push_back("record " + std::to_string(i) + " has id \"" +
                                     Narrow(record->endpointId) + "\", expected \"" +
                                     Narrow(endpoint.id) + "\"");
            }
            if (endpoint.friendlyName.expected != record->friendlyName) {
                mismatches.push_back("friendly name \"" + Narrow(record->friendlyName) +
                                     "\", expected \"" + Narrow(endpoint.friendlyName.expected) +
                                     "\"");
            }
            INT32 kind = ReferenceKind(endpoint, expected[i].flow);
            if (record->kind != kind) {
                mismatches.push_back("kind " + std::to_string(record->kind) + ", expected " +
                                     std::to_string(kind) + " for \"" +
                                     Narrow(record->friendlyName) + "\", form factor " +
                                     std::to_string(endpoint.formFactor));
            }
            if (endpoint.description.expected != record->description) {
                mismatches.push_back("description \"" + Narrow(record->description) +
                                     "\", expected \"" + Narrow(endpoint.description.expected) +
                                     "\"");
            }
        }
        CloseEndpointInventory(&inventory);
    }
    for (const Endpoint& endpoint : endpoints) {
        service.RemoveEndpoint(endpoint.id);
    }
    tally.Judge(mismatches);
}

}  // namespace

bool SweepEndpointNames(const SweepOptions& options) {
    Random random(options.seed ^ 0x6E616D65);
    Tally tally("bad endpoint names and ids");
    ProcessHoldings holdings(ProcessHoldings::Looks::ForBlocksOnly);
    for (size_t first = 0; first < options.count; first += kInputsPerService) {
        std::shared_ptr<sim::audio::AudioService> service = sim::audio::AudioService::Start();
        for (size_t i = first; i < options.count && i < first + kInputsPerService; ++i) {
            SetCurrentInput("bad endpoint names and ids", i);
            RunInput(random, i, *service, tally);
        }
        service->Stop();
        std::string left = sim::audio::DescribeLeftovers(*service);
        tally.LeftBehind("audio stand-in leftovers", left.empty() ? 0 : 1, left);
    }
    holdings.LeftBehindSince(tally);
    return tally.Report(options.count);
}

}  // namespace badinput
