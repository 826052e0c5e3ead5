#pragma once

// The decoded effect words. One record per word; every field is a 32-bit signed integer and the
// enabled fields hold 0 or 1. Coded fields (bit0Option, bits8to11Option, bits4to7Option,
// modeOption) hold option codes, never raw field values.

// Option codes: one numbering shared by every word.
enum EffectOption : int {
    // Mode word, bits 21-24 (field value in brackets).
    OPTION_MODE_3 = 0,  // 3
    OPTION_MODE_2 = 1,  // 2
    OPTION_MODE_0 = 2,  // 0
    OPTION_MODE_1 = 3,  // 1
    OPTION_MODE_4 = 4,  // 4
    // Headphone word.
    OPTION_HEADPHONE_BIT0_CLEAR = 5,
    OPTION_HEADPHONE_BIT0_SET = 6,
    OPTION_HEADPHONE_BITS8TO11_2 = 7,
    OPTION_HEADPHONE_BITS8TO11_3 = 8,
    OPTION_HEADPHONE_BITS4TO7_1 = 9,
    OPTION_HEADPHONE_BITS4TO7_2 = 10,
    OPTION_HEADPHONE_BITS4TO7_3 = 11,
    // Sound Space Expander word, bit 0.
    OPTION_SSE_BIT0_CLEAR = 12,
    OPTION_SSE_BIT0_SET = 13,
};

struct NaturalBassSettings {
    int enabled;
    int bits0to7;
    int boostLevel;  // the bass-boost slider position, 0 to 6
    int bits12to15;
};

struct LevelWordSettings {
    int enabled;
    int bits0to3;
};

struct SoundSpaceExpanderSettings {
    int enabled;
    int bit0Option;
};

struct HeadphoneSettings {
    int enabled;
    int bit0Option;
    int bits8to11Option;
    int bits4to7Option;
};

struct ModeWordSettings {
    int enabled;
    int modeOption;
    int bits8to11;
    int bits4to6;
    int bit3;
    int bit0;
};
