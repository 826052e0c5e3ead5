#pragma once

#include "check/CheckReport.h"

// The start-up tests of HalvoSetting.exe, numbered in the order the program makes them. The
// number of the first that fails is HalvoCheck's exit code.
enum StartupTest {
    CHECK_CODEC_DRIVER = 1,   // discovery of the codec's private interface
    CHECK_EFFECT_SET,         // the driver's effect-support answer, bit 3
    CHECK_EXTENSION_LIBRARY,  // XANPropPageExt.dll loads by its file name
    CHECK_EXTENSION_EXPORTS,  // all 91 names are found in it
    CHECK_SPEAKER_ENDPOINT,   // the inventory holds an endpoint of kind 0 in a usable state
    CHECK_WINDOWS_VERSION,    // Windows Vista (6.0) or Windows 7 (6.1)
    CHECK_FX_STORE,           // the endpoint's FX store opens read-only
};

// Makes every test with the program's own start-up functions, in the program's order, and
// reports each one. Nothing is written or changed: no defaults, no per-user switch, the FX store
// opened read-only and released at once. Returns 0 when the program would show its sheet,
// otherwise the number of the first test that failed. Every library, handle, COM object and
// COM initialisation taken is given back before it returns.
int RunStartupChecks(CCheckReport& report);
