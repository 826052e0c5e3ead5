#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>

#include "framework/afxtempl.h"

// A short-lived catalogue of the machine's audio endpoints, made by the start-up probe to find
// the endpoint whose effects the page configures.

// How an endpoint is sorted by form factor, name and jack. An endpoint is the maker's when its
// friendly name contains "XAN". 14 is never produced.
enum EndpointKind : INT32 {
    ENDPOINT_KIND_SPEAKERS = 0,      // the maker's stereo speakers, and what no rule places
    ENDPOINT_KIND_HEADPHONES = 1,    // the maker's headphones
    ENDPOINT_KIND_SPDIF_TX0 = 2,     // the maker's S/PDIF output on TX0 (or no transmitter named)
    ENDPOINT_KIND_HDMI_TX0 = 3,      // the maker's HDMI output on TX0 (or no transmitter named)
    ENDPOINT_KIND_SPDIF_TX1 = 4,     // the maker's S/PDIF output on TX1
    ENDPOINT_KIND_HDMI_TX1 = 5,      // the maker's HDMI output on TX1
    ENDPOINT_KIND_OTHER_HDMI = 6,    // another maker's HDMI, or S/PDIF at the HDMI location
    ENDPOINT_KIND_MONO = 7,          // the maker's mono speakers or headset
    ENDPOINT_KIND_MIC = 8,           // the maker's microphone on a 3.5 mm or unknown jack
    ENDPOINT_KIND_LINE = 9,          // the maker's line-level endpoint not on a 3.5 mm jack
    ENDPOINT_KIND_LINE_JACK = 10,    // the maker's line-level endpoint on a 3.5 mm jack
    ENDPOINT_KIND_SPDIF_IN = 11,     // the maker's S/PDIF capture
    ENDPOINT_KIND_FRONT_MIC = 12,    // the maker's front or analog microphone, stereo headset
    ENDPOINT_KIND_CD = 13,           // the maker's CD input
    ENDPOINT_KIND_DIGITAL_MIC = 15,  // the maker's microphone on an other-digital connection
    ENDPOINT_KIND_OTHER = 16,        // the maker's enhanced microphone; other makers' endpoints
};

// Text fields hold at most 259 characters and their terminator.
constexpr size_t ENDPOINT_TEXT_UNITS = 260;

// One endpoint. Allocated zero-filled; the inventory's list owns it.
struct EndpointRecord {
    UINT32 dataFlow;  // eRender or eCapture: the pass that found the endpoint
    WCHAR description[ENDPOINT_TEXT_UNITS];
    WCHAR friendlyName[ENDPOINT_TEXT_UNITS];
    INT32 kind;  // an EndpointKind
    WCHAR endpointId[ENDPOINT_TEXT_UNITS];
    IMMDevice* device;  // one owned reference
};

// The inventory context. Starts value-initialised (everything null, the list empty); Open,
// Build and Close work on it in place.
struct EndpointInventory {
    BOOL comInitialized = FALSE;      // Close owes one CoUninitialize
    CList<void*, void*> records{10};  // EndpointRecord*, in the order they were added
    IMMDeviceEnumerator* deviceEnumerator = nullptr;
    HMODULE extensionModule = nullptr;
};

// Initialises COM, creates the device enumerator, loads and binds the extension library. TRUE
// only when all of that succeeded.
BOOL OpenEndpointInventory(EndpointInventory* inventory);

// The first half of Open: initialises COM and creates the device enumerator (HRESULT of its
// creation). Open goes on with LoadExtensionLibrary and BindExtensionExports, and unloads the
// library again when a name is missing; a caller that wants to say which step failed makes the
// same calls in the same order.
HRESULT StartEndpointInventory(EndpointInventory* inventory);

// Lists every render and then every capture endpoint that is active, disabled or unplugged.
void BuildEndpointInventory(EndpointInventory* inventory);

// Releases everything the inventory holds; safe after a partial Open or none.
void CloseEndpointInventory(EndpointInventory* inventory);

// The records in insertion order.
INT_PTR GetEndpointRecordCount(const EndpointInventory* inventory);
EndpointRecord* GetEndpointRecord(const EndpointInventory* inventory, INT_PTR index);

// The steps of Build, each on one device.
void ReadEndpointString(IMMDevice* device, const PROPERTYKEY& key,
                        WCHAR field[ENDPOINT_TEXT_UNITS]);
UINT32 ReadFormFactor(IMMDevice* device);
UINT32 GetEndpointJackCount(IMMDevice* device);
BOOL GetEndpointJackDescription(IMMDevice* device, KSJACK_DESCRIPTION* description);
void ClassifyEndpoint(EndpointRecord* record, IMMDevice* device, EDataFlow dataFlow);
