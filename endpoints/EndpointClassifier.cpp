// Sorting an endpoint by its form factor, its names and its jack.
#include <cwchar>

#include "endpoints/EndpointInventory.h"

namespace {

bool Contains(const WCHAR* text, const WCHAR* part) {
    return std::wcsstr(text, part) != nullptr;
}

// The connection of the endpoint's first jack, if its description can be read.
bool ReadJack(IMMDevice* device, KSJACK_DESCRIPTION* jack) {
    return GetEndpointJackDescription(device, jack) == TRUE;
}

// The maker's endpoints: by form factor, then by name or jack. Form factors without a rule
// leave the kind as it is.
void ClassifyMakersEndpoint(EndpointRecord* record, IMMDevice* device, EDataFlow dataFlow,
                            UINT32 formFactor) {
    KSJACK_DESCRIPTION jack;
    switch (formFactor) {
        case Speakers:
            record->kind = Contains(record->description, L"Mono") ? ENDPOINT_KIND_MONO
                                                                  : ENDPOINT_KIND_SPEAKERS;
            break;
        case Headphones:
            record->kind = Contains(record->description, L"Internal Speaker")
                               ? ENDPOINT_KIND_SPEAKERS
                               : ENDPOINT_KIND_HEADPHONES;
            break;
        case SPDIF:
            if (dataFlow == eCapture) {
                record->kind = ENDPOINT_KIND_SPDIF_IN;
            } else {
                // TX0 is tested first: a name with both transmitters counts as TX0.
                record->kind = !Contains(record->friendlyName, L"TX0") &&
                                       Contains(record->friendlyName, L"TX1")
                                   ? ENDPOINT_KIND_SPDIF_TX1
                                   : ENDPOINT_KIND_SPDIF_TX0;
            }
            break;
        case DigitalAudioDisplayDevice:
            record->kind =
                !Contains(record->friendlyName, L"TX0") && Contains(record->friendlyName, L"TX1")
                    ? ENDPOINT_KIND_HDMI_TX1
                    : ENDPOINT_KIND_HDMI_TX0;
            break;
        case Microphone:
            // The tests run in this order on purpose (a name outranks the jack), so two kinds are
            // reached by two branches each.
            // NOLINTBEGIN(bugprone-branch-clone)
            if (Contains(record->friendlyName, L"Front Mic")) {
                record->kind = ENDPOINT_KIND_FRONT_MIC;
            } else if (Contains(record->friendlyName, L"Enhanced")) {
                record->kind = ENDPOINT_KIND_OTHER;
            } else if (!ReadJack(device, &jack)) {
                record->kind = ENDPOINT_KIND_MIC;
            } else if (jack.ConnectionType == eConnTypeOtherAnalog) {
                record->kind = ENDPOINT_KIND_FRONT_MIC;
            } else if (jack.ConnectionType == eConnTypeOtherDigital) {
                record->kind = ENDPOINT_KIND_DIGITAL_MIC;
            } else {
                record->kind = ENDPOINT_KIND_MIC;
            }
            // NOLINTEND(bugprone-branch-clone)
            break;
        case LineLevel:
            if (Contains(record->friendlyName, L"CD")) {
                record->kind = ENDPOINT_KIND_CD;
            } else {
                record->kind = ReadJack(device, &jack) && jack.ConnectionType == eConnType3Point5mm
                                   ? ENDPOINT_KIND_LINE_JACK
                                   : ENDPOINT_KIND_LINE;
            }
            break;
        case Headset:
            record->kind = Contains(record->description, L"Mono") ? ENDPOINT_KIND_MONO
                                                                  : ENDPOINT_KIND_FRONT_MIC;
            break;
        case UnknownFormFactor:
            record->kind =
                Contains(record->friendlyName, L"CD") ? ENDPOINT_KIND_CD : ENDPOINT_KIND_LINE;
            break;
        default: break;
    }
}

// Other makers' endpoints: only HDMI and S/PDIF are told apart.
void ClassifyOtherEndpoint(EndpointRecord* record, IMMDevice* device, EDataFlow dataFlow,
                           UINT32 formFactor) {
    KSJACK_DESCRIPTION jack;
    switch (formFactor) {
        case SPDIF:
            if (dataFlow == eRender) {
                record->kind = ReadJack(device, &jack) && jack.GeoLocation == eGeoLocHDMI
                                   ? ENDPOINT_KIND_OTHER_HDMI
                                   : ENDPOINT_KIND_OTHER;
            }
            break;
        case DigitalAudioDisplayDevice: record->kind = ENDPOINT_KIND_OTHER_HDMI; break;
        default: record->kind = ENDPOINT_KIND_OTHER; break;
    }
}

}  // namespace

void ClassifyEndpoint(EndpointRecord* record, IMMDevice* device, EDataFlow dataFlow) {
    UINT32 formFactor = ReadFormFactor(device);
    if (Contains(record->friendlyName, L"XAN")) {
        ClassifyMakersEndpoint(record, device, dataFlow, formFactor);
    } else {
        ClassifyOtherEndpoint(record, device, dataFlow, formFactor);
    }
}
