#pragma once

#include <windows.h>

// The message that tells the page's window to read a kind of change: wParam is the kind of
// refresh, lParam 0.
constexpr UINT WM_ENDPOINT_PROPERTY_CHANGED = 3041;
enum : WPARAM {
    EPC_BYPASS = 1,    // re-read the bypass value, then refresh the controls
    EPC_EFFECTS = 12,  // re-read the headphone, expander and Natural Bass words, then refresh
    EPC_JACK = 18,     // re-decide the speaker or headphone presentation
};
