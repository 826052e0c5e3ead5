#pragma once

#include <windows.h>

#include "driver/HDAudDevice.h"

// The front-panel jack controls: which jacks hold a plug, and what each port serves as.

// The front-panel jack presence word; 0 when the query fails.
WORD GetHDAudioJackStatus(const HDAudDeviceInfo* device);

// The two retasking steps. Each raises *headphoneActive for a port that serves as a headphone
// output with a plug in its jack, and never lowers it; E_FAIL when its query failed.
HRESULT GetHDFrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack, BOOL* headphoneActive);
HRESULT GetRM4512S_FrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack,
                                       BOOL* headphoneActive);
