#pragma once

#include "fxstore/EffectSettings.h"

// The settings a store receives the first time the page meets it, chosen by the endpoint's form
// factor: the headphone and Natural Bass effects start on for Speakers, Headphones and Headset,
// the Sound Space Expander for Speakers only; every other endpoint starts with all effects off.
struct EffectDefaults {
    ModeWordSettings modeWord;
    HeadphoneSettings headphone;
    unsigned headphoneSelector;
    SoundSpaceExpanderSettings soundSpaceExpander;
    LevelWordSettings levelWord;
    NaturalBassSettings naturalBass;
};

EffectDefaults GetEffectDefaults(int formFactor);
