#include "fxstore/EffectWords.h"

#include "framework/CPropVariant.h"
#include "framework/PropVariantPayload.h"

namespace {

constexpr DWORD kEnabledBit = 0x80000000;

int EnabledOf(DWORD word) {
    return (word & kEnabledBit) ? 1 : 0;
}

DWORD EnabledBit(int enabled) {
    return enabled ? kEnabledBit : 0;
}

// Mode-word field values by option code 0 to 4.
constexpr DWORD kModeFieldByOption[] = {3, 2, 0, 1, 4};

}  // namespace

HRESULT ReadEffectWord(IPropertyStore* fxStore, const PROPERTYKEY& key, DWORD* word,
                       StoredWord* found) {
    StoredWord what = StoredWord::None;
    *word = 0;
    HRESULT hr = E_POINTER;
    if (fxStore) {
        CPropVariant value;
        hr = fxStore->GetValue(key, &value);
        ULONG payload = 0;
        // A store's own success codes count as success: S_FALSE with a word is a word.
        if (SUCCEEDED(hr) && GetPropVariantPayload32(*value.Get(), &payload)) {
            *word = payload;
            what = value->vt == VT_EMPTY || value->vt == VT_NULL ? StoredWord::Empty
                   : IsIntegerPropVariantType(value->vt)         ? StoredWord::Integer
                                                                 : StoredWord::Payload;
        }
    }
    if (found) {
        *found = what;
    }
    return hr;
}

void UnpackNaturalBass(DWORD word, NaturalBassSettings* settings) {
    settings->enabled = EnabledOf(word);
    settings->bits0to7 = static_cast<int>(word & 0xFF);
    settings->boostLevel = static_cast<int>((word >> 8) & 0xF);
    settings->bits12to15 = static_cast<int>((word >> 12) & 0xF);
}

void UnpackLevelWord(DWORD word, LevelWordSettings* settings) {
    settings->enabled = EnabledOf(word);
    settings->bits0to3 = static_cast<int>(word & 0xF);
}

void UnpackSoundSpaceExpander(DWORD word, SoundSpaceExpanderSettings* settings) {
    settings->enabled = EnabledOf(word);
    settings->bit0Option = (word & 1) ? OPTION_SSE_BIT0_SET : OPTION_SSE_BIT0_CLEAR;
}

void UnpackHeadphone(DWORD word, HeadphoneSettings* settings) {
    settings->enabled = EnabledOf(word);
    settings->bit0Option = (word & 1) ? OPTION_HEADPHONE_BIT0_SET : OPTION_HEADPHONE_BIT0_CLEAR;
    switch ((word >> 8) & 0xF) {
        case 2: settings->bits8to11Option = OPTION_HEADPHONE_BITS8TO11_2; break;
        case 3: settings->bits8to11Option = OPTION_HEADPHONE_BITS8TO11_3; break;
        default: break;
    }
    switch ((word >> 4) & 0xF) {
        case 1: settings->bits4to7Option = OPTION_HEADPHONE_BITS4TO7_1; break;
        case 2: settings->bits4to7Option = OPTION_HEADPHONE_BITS4TO7_2; break;
        case 3: settings->bits4to7Option = OPTION_HEADPHONE_BITS4TO7_3; break;
        default: break;
    }
}

void UnpackModeWord(DWORD word, ModeWordSettings* settings) {
    settings->enabled = EnabledOf(word);
    switch ((word >> 21) & 0xF) {
        case 0: settings->modeOption = OPTION_MODE_0; break;
        case 1: settings->modeOption = OPTION_MODE_1; break;
        case 2: settings->modeOption = OPTION_MODE_2; break;
        case 3: settings->modeOption = OPTION_MODE_3; break;
        case 4: settings->modeOption = OPTION_MODE_4; break;
        default: break;
    }
    settings->bits8to11 = static_cast<int>((word >> 8) & 0xF);
    settings->bits4to6 = static_cast<int>((word >> 4) & 7);
    settings->bit3 = static_cast<int>((word >> 3) & 1);
    settings->bit0 = static_cast<int>(word & 1);
}

DWORD PackNaturalBass(const NaturalBassSettings& settings) {
    // Bits 16-30 are always 0; each field keeps to its own bits.
    return EnabledBit(settings.enabled) | (DWORD(settings.bits12to15) & 0xF) << 12 |
           (DWORD(settings.boostLevel) & 0xF) << 8 | (DWORD(settings.bits0to7) & 0xFF);
}

DWORD PackLevelWord(const LevelWordSettings& settings) {
    return EnabledBit(settings.enabled) | (DWORD(settings.bits0to3) & 0xF);
}

DWORD PackSoundSpaceExpander(const SoundSpaceExpanderSettings& settings) {
    return EnabledBit(settings.enabled) | (settings.bit0Option == OPTION_SSE_BIT0_SET ? 1 : 0);
}

DWORD PackHeadphone(BOOL enabled, int bit0Option, int bits8to11Option, int bits4to7Option) {
    DWORD word = EnabledBit(enabled);
    if (bit0Option == OPTION_HEADPHONE_BIT0_SET) {
        word |= 1;
    }
    switch (bits8to11Option) {
        case OPTION_HEADPHONE_BITS8TO11_2: word |= 2 << 8; break;
        case OPTION_HEADPHONE_BITS8TO11_3: word |= 3 << 8; break;
        default: break;
    }
    switch (bits4to7Option) {
        case OPTION_HEADPHONE_BITS4TO7_1: word |= 1 << 4; break;
        case OPTION_HEADPHONE_BITS4TO7_2: word |= 2 << 4; break;
        case OPTION_HEADPHONE_BITS4TO7_3: word |= 3 << 4; break;
        default: break;
    }
    return word;
}

DWORD PackModeWord(BOOL enabled, int modeOption, UINT bits8to11, UINT bits4to6, UINT bit3,
                   UINT bit0) {
    DWORD field = 0;
    if (modeOption >= OPTION_MODE_3 && modeOption <= OPTION_MODE_4) {
        field = kModeFieldByOption[modeOption];
    }
    return EnabledBit(enabled) | field << 21 | bits8to11 << 8 | bits4to6 << 4 | bit3 << 3 | bit0;
}
