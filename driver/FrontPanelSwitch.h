#pragma once

#include <windows.h>

// The per-user switch "Enable_Front_Panel_Jack_Detect": FALSE only when the value was read and
// its text converts to 0. A missing key or value, or a value too long to read, leaves the
// headphone detection on.
BOOL IsFrontPanelJackDetectEnabled();

// The switch's number: leading white space, an optional sign, decimal digits; 0 when the text
// has no digits. Saturates instead of overflowing.
long ParseSwitchNumber(const WCHAR* text);
