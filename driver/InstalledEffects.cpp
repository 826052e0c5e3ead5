#include "driver/InstalledEffects.h"

#include <cstring>

#include "driver/DriverControls.h"
#include "driver/EffectSupport.h"
#include "driver/HDAudDevice.h"
#include "platform/Platform.h"

namespace {

constexpr DWORD kAcceptedStates =
    DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED;

// The driver's effect-support mask; 0 when no supported codec is present or the query fails.
// FALSE when discovery could not even start.
BOOL AskEffectSupport(DWORD* mask) {
    *mask = 0;
    HDAudDeviceInfo device = {};
    if (!DiscoverEffectsDevice(&device)) {
        return FALSE;
    }
    if (device.interfaceDetail) {
        *mask = GetHDAudEffectSupport(&device);
    }
    ReleaseHDAudDevice(&device);
    return TRUE;
}

}  // namespace

BOOL DiscoverEffectsDevice(HDAudDeviceInfo* device) {
    HDEVINFO spareSet = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (spareSet == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    if (FAILED(FindHDAudDevice(device, spareSet))) {
        ReleaseHDAudDevice(device);
        return FALSE;
    }
    return TRUE;
}

int SelectEffectsEndpoint(const EndpointInventory* inventory) {
    if (!inventory) {
        return -1;
    }
    INT_PTR count = GetEndpointRecordCount(inventory);
    for (INT_PTR i = 0; i < count; ++i) {
        const EndpointRecord* record = GetEndpointRecord(inventory, i);
        if (record->kind != ENDPOINT_KIND_SPEAKERS) {
            continue;
        }
        // A state that cannot be read counts as not present, whatever the failed call left.
        DWORD state = DEVICE_STATE_NOTPRESENT;
        if (record->device && FAILED(record->device->GetState(&state))) {
            state = DEVICE_STATE_NOTPRESENT;
        }
        if ((state & kAcceptedStates) == state) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

BOOL GetInstalledSoundeffects(WCHAR endpointId[260]) {
    // Without a buffer for the id the probe has nothing to give: it is not made.
    if (!endpointId) {
        return FALSE;
    }
    DWORD mask = 0;
    if (!AskEffectSupport(&mask)) {
        return FALSE;
    }

    // The inventory is built and searched even when the mask already says no.
    EndpointInventory inventory;
    BOOL found = FALSE;
    if (OpenEndpointInventory(&inventory)) {
        if (inventory.deviceEnumerator) {
            BuildEndpointInventory(&inventory);
        }
        int index = SelectEffectsEndpoint(&inventory);
        if (index >= 0 && (mask & HDAUD_SUPPORT_HALVO_EFFECTS)) {
            std::memcpy(endpointId, GetEndpointRecord(&inventory, index)->endpointId,
                        sizeof(WCHAR) * 260);
            found = TRUE;
        }
    }
    CloseEndpointInventory(&inventory);
    return found;
}
