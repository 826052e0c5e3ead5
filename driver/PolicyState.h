#pragma once

#include <windows.h>

// Whether the Speakers endpoint is playing into headphones on a front-panel jack right now.
// *headphoneActive starts FALSE and stays FALSE on every failure; the result is S_OK or E_FAIL.
HRESULT GetHDAudPolicyState(BOOL* headphoneActive);
