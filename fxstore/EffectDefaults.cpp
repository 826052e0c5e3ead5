#include "fxstore/EffectDefaults.h"

#include <windows.h>
#include <mmdeviceapi.h>

EffectDefaults GetEffectDefaults(int formFactor) {
    bool speakers = formFactor == Speakers;
    bool listening = speakers || formFactor == Headphones || formFactor == Headset;
    EffectDefaults defaults = {};
    // 14 is wider than the 3-bit field at bit 4; the stored default word is 0x006007E0.
    defaults.modeWord = {0, OPTION_MODE_3, 7, 14, 0, 0};
    defaults.headphone = {listening ? 1 : 0, OPTION_HEADPHONE_BIT0_SET,
                          OPTION_HEADPHONE_BITS8TO11_2, OPTION_HEADPHONE_BITS4TO7_1};
    defaults.headphoneSelector = 2;
    defaults.soundSpaceExpander = {speakers ? 1 : 0, OPTION_SSE_BIT0_SET};
    defaults.levelWord = {0, 0};
    defaults.naturalBass = {listening ? 1 : 0, 19, 5, 3};
    return defaults;
}
