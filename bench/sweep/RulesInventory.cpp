// The start-up probe as the model follows it: discovery and the effect-support answer, the endpoint
// inventory with the extension library, each endpoint's names, form factor and jack, the kinds
// and the choice of the endpoint the page shows.
#include "bench/sweep/RulesModel.h"

#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

namespace sweep {
namespace {

constexpr wchar_t kNotAvailable[] = L"<Device not available>";

const char* const kExportNames[] = {
#include "sim/extension/ExportNames.inc"
};

bool Contains(const std::wstring& text, const wchar_t* part) {
    return text.find(part) != std::wstring::npos;
}

}  // namespace

bool RulesModel::Probe(std::wstring* endpointId) {
    DriverDevice device;
    if (!MakeSpareSetAndFind("the probe's discovery", &device)) {
        EndStartUp("the probe gives up at once when its spare set cannot be made");
        return false;
    }
    DWORD mask = device.found ? EffectSupportMask() : 0;
    bool loaded = false;
    std::vector<InventoryRecord> records;
    bool opened = OpenInventory(&loaded);
    if (opened) {
        BuildInventory(&records);
    }
    int chosen = opened ? SelectEndpoint(records) : -1;
    if (loaded) {
        Call("FreeLibrary(XANPropPageExt.dll)", false,
             "the inventory's close: the library unloaded");
    }
    if (!opened) {
        EndStartUp(m_plan.ended);
        return false;
    }
    if (chosen < 0) {
        EndStartUp("the probe finds no endpoint of kind 0 in a present state");
        return false;
    }
    if (!(mask & 0x8)) {
        EndStartUp(device.found ? "the driver does not report the effect set as installed"
                                : "no supported codec interface is found");
        return false;
    }
    *endpointId = records[static_cast<size_t>(chosen)].id;
    return true;
}

// The enumerator, then the library and its look-ups; a look-up that fails does not stop the
// others, and the library is unloaded again when one did.
bool RulesModel::OpenInventory(bool* loaded) {
    if (!Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, "the inventory's enumerator"))) {
        m_plan.ended = "the inventory cannot be opened without its enumerator";
        return false;
    }
    if (!Ok(Call("LoadLibraryW(XANPropPageExt.dll)", false, "the extension library"))) {
        m_plan.ended = "the extension library cannot be loaded";
        return false;
    }
    bool all = true;
    for (const char* name : kExportNames) {
        all = Ok(Call(std::string("GetProcAddress(") + name + ")", false,
                      "the extension library's exports, each required")) &&
              all;
    }
    if (!all) {
        Call("FreeLibrary(XANPropPageExt.dll)", false,
             "the library unloaded: an export is missing");
        m_plan.ended = "an export of the extension library is missing";
        return false;
    }
    *loaded = true;
    return true;
}

void RulesModel::BuildInventory(std::vector<InventoryRecord>* records) {
    BuildPass(eRender, records);
    BuildPass(eCapture, records);
}

// One pass: the endpoints of the flow that are active, disabled or unplugged, each with a record
// unless its item or id cannot be had or its id is listed already.
void RulesModel::BuildPass(EDataFlow flow, std::vector<InventoryRecord>* records) {
    std::string pass =
        flow == eRender ? "the inventory's render pass" : "the inventory's capture pass";
    Answer listed = Call("IMMDeviceEnumerator::EnumAudioEndpoints", true, pass);
    if (listed == Answer::Failure) {
        return;
    }
    std::vector<std::wstring> ids;
    if (listed == Answer::Ordinary) {
        for (const auto& endpoint : m_machine.endpoints) {
            DWORD state = endpoint.state;
            if (endpoint.flow == flow && (state & 0xB) != 0 && (state & ~0xBu) == 0) {
                ids.push_back(endpoint.id);
            }
        }
    }
    if (!Ok(Call("IMMDeviceCollection::GetCount", true, pass + ": how many"))) {
        return;
    }
    for (const std::wstring& listedId : ids) {
        Answer item = Call("IMMDeviceCollection::Item", true, pass + ": an endpoint");
        if (item == Answer::Failure) {
            continue;
        }
        std::wstring device = item == Answer::Unusable ? kRemoved : listedId;
        Answer id = Call("IMMDevice::GetId", true, pass + ": its id");
        if (id == Answer::Failure) {
            continue;
        }
        InventoryRecord record;
        record.flow = flow;
        record.device = device;
        record.id = id == Answer::Unusable ? std::wstring() : device;
        bool listedAlready = false;
        for (const InventoryRecord& other : *records) {
            listedAlready = listedAlready || other.id == record.id;
        }
        if (listedAlready) {
            continue;
        }
        record.description = ReadName(device, PKEY_Device_DeviceDesc);
        record.friendlyName = ReadName(device, PKEY_Device_FriendlyName);
        Classify(&record);
        records->push_back(record);
    }
}

// A name read through a store opened for it; the fixed text when it cannot be read or holds no
// string, cut to 259 characters otherwise.
std::wstring RulesModel::ReadName(const std::wstring& device, const PROPERTYKEY& key) {
    Reading name = ReadDeviceStore(device, key, "the inventory's names");
    if (name.outcome != Reading::Found ||
        (name.value.Type() != VT_LPWSTR && name.value.Type() != VT_BSTR)) {
        return kNotAvailable;
    }
    return name.value.Text().substr(0, 259);
}

DWORD RulesModel::ReadInventoryFormFactor(const std::wstring& device) {
    Reading formFactor =
        ReadDeviceStore(device, PKEY_AudioEndpoint_FormFactor, "the inventory's form factor");
    return formFactor.Succeeded() ? formFactor.Payload() : rules::kUnknownFormFactor;
}

// The walk from an endpoint to the part that describes its jacks: true when it gets there, with
// the endpoint whose jacks that part describes (none for one removed while it was asked).
bool RulesModel::WalkToJacks(const std::wstring& device, std::wstring* jacksOf) {
    const std::string who = "the jack walk";
    Answer topology = Call("IMMDevice::Activate", true, who + ": the device's topology");
    if (topology == Answer::Failure || !Endpoint(device)) {
        return false;
    }
    std::wstring of = topology == Answer::Unusable ? kRemoved : device;
    if (!Ok(Call("IDeviceTopology::GetConnectorCount", true, who + ": the connectors")) ||
        !Endpoint(of)) {
        return false;
    }
    Answer connector = Call("IDeviceTopology::GetConnector", true, who + ": connector 0");
    if (connector == Answer::Failure) {
        return false;
    }
    of = connector == Answer::Unusable ? kRemoved : of;
    Answer other = Call("IConnector::GetConnectedTo", true, who + ": the adapter's side");
    if (other == Answer::Failure || !Endpoint(of)) {
        return false;
    }
    of = other == Answer::Unusable ? kRemoved : of;
    if (!Ok(Call("IConnector::QueryInterface(IPart)", false, who + ": the part"))) {
        return false;
    }
    Answer part = Call("IPart::Activate", true, who + ": the jack description");
    if (part == Answer::Failure) {
        return false;
    }
    *jacksOf = part == Answer::Unusable ? kRemoved : of;
    return true;
}

UINT RulesModel::JackCount(const std::wstring& device) {
    std::wstring jacksOf;
    if (!WalkToJacks(device, &jacksOf) ||
        !Ok(Call("IKsJackDescription::GetJackCount", true, "the jack walk: the jacks"))) {
        return 0;
    }
    const sim::machine::EndpointState* endpoint = Endpoint(jacksOf);
    return endpoint && endpoint->jack ? 1 : 0;
}

bool RulesModel::JackDescription(const std::wstring& device, KSJACK_DESCRIPTION* jack) {
    std::wstring jacksOf;
    if (JackCount(device) == 0 || !WalkToJacks(device, &jacksOf)) {
        return false;
    }
    Answer described =
        Call("IKsJackDescription::GetJackDescription", true, "the jack walk: jack 0 described");
    const sim::machine::EndpointState* endpoint = Endpoint(jacksOf);
    if (described == Answer::Failure || !endpoint || !endpoint->jack) {
        return false;
    }
    *jack = described == Answer::Unusable ? KSJACK_DESCRIPTION{} : *endpoint->jack;
    return true;
}

// The kinds by the maker's name in the friendly name, the form factor and, for some, the jack.
void RulesModel::Classify(InventoryRecord* record) {
    DWORD formFactor = ReadInventoryFormFactor(record->device);
    const std::wstring& name = record->friendlyName;
    const std::wstring& description = record->description;
    bool render = record->flow == eRender;
    KSJACK_DESCRIPTION jack = {};
    if (!Contains(name, L"XAN")) {
        if (formFactor == SPDIF && render) {
            record->kind =
                JackDescription(record->device, &jack) && jack.GeoLocation == 11 ? 6 : 16;
        } else if (formFactor == SPDIF) {
            record->kind = 0;
        } else {
            record->kind = formFactor == DigitalAudioDisplayDevice ? 6 : 16;
        }
        return;
    }
    switch (formFactor) {
        case Speakers: record->kind = Contains(description, L"Mono") ? 7 : 0; break;
        case Headphones: record->kind = Contains(description, L"Internal Speaker") ? 0 : 1; break;
        case SPDIF:
            record->kind = !render                  ? 11
                           : Contains(name, L"TX0") ? 2
                           : Contains(name, L"TX1") ? 4
                                                    : 2;
            break;
        case DigitalAudioDisplayDevice:
            record->kind = Contains(name, L"TX0") ? 3 : Contains(name, L"TX1") ? 5 : 3;
            break;
        case Microphone:
            if (Contains(name, L"Front Mic")) {
                record->kind = 12;
            } else if (Contains(name, L"Enhanced")) {
                record->kind = 16;
            } else if (!JackDescription(record->device, &jack)) {
                record->kind = 8;
            } else {
                record->kind = jack.ConnectionType == 7 ? 12 : jack.ConnectionType == 6 ? 15 : 8;
            }
            break;
        case LineLevel:
            if (Contains(name, L"CD")) {
                record->kind = 13;
            } else {
                record->kind =
                    JackDescription(record->device, &jack) && jack.ConnectionType == 1 ? 10 : 9;
            }
            break;
        case Headset: record->kind = Contains(description, L"Mono") ? 7 : 12; break;
        case UnknownFormFactor: record->kind = Contains(name, L"CD") ? 13 : 9; break;
        default: record->kind = 0; break;
    }
}

// The first record of kind 0 whose state has no bit beyond active, disabled and unplugged; a
// state that cannot be read is not present.
int RulesModel::SelectEndpoint(const std::vector<InventoryRecord>& records) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].kind != 0) {
            continue;
        }
        DWORD state = DEVICE_STATE_NOTPRESENT;
        if (Ok(Call("IMMDevice::GetState", true, "the probe's choice: the endpoint's state"))) {
            const sim::machine::EndpointState* endpoint = Endpoint(records[i].device);
            state = endpoint ? endpoint->state : DEVICE_STATE_NOTPRESENT;
        }
        if ((state & 0xB) == state) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace sweep
