#pragma once

#include <windows.h>

#include "driver/HDAudDevice.h"

// Whether the Speakers endpoint is playing into headphones on a front-panel jack right now.
// *headphoneActive starts FALSE and stays FALSE on every failure; the result is S_OK or E_FAIL.
HRESULT GetHDAudPolicyState(BOOL* headphoneActive);

// The front-panel jack presence word; 0 when the query fails.
WORD GetHDAudioJackStatus(const HDAudDeviceInfo* device);

// The two retasking steps. Each raises *headphoneActive for a port that serves as a headphone
// output with a plug in its jack, and never lowers it; E_FAIL when its query failed.
HRESULT GetHDFrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack, BOOL* headphoneActive);
HRESULT GetRM4512S_FrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack,
                                       BOOL* headphoneActive);

// The mask of external effect sets the driver has installed; 0 when the query fails.
DWORD GetHDAudEffectSupport(const HDAudDeviceInfo* device);
