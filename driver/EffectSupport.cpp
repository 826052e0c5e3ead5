#include "driver/EffectSupport.h"

#include "driver/DriverControls.h"
#include "driver/DriverQuery.h"

DWORD GetHDAudEffectSupport(const HDAudDeviceInfo* device) {
    DWORD mask = 0;
    DWORD returned = 0;
    // The step is named after the start-up probe, the one caller.
    QueryHDAudDevice(device, IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS, &mask, sizeof mask,
                     &returned, L"GetInstalledSoundeffects",
                     L"IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS");
    return mask;
}
