#include "fxstore/EffectState.h"

#include "framework/CPropVariant.h"
#include "fxstore/EffectDefaults.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EffectWriters.h"
#include "fxstore/PropertyKeys.h"

NaturalBassSettings g_naturalBass;
LevelWordSettings g_levelWord;
SoundSpaceExpanderSettings g_soundSpaceExpander;
HeadphoneSettings g_headphone;
ModeWordSettings g_modeWord;

namespace {

// The marker is present once the defaults were written: a VT_UI4 0. A store that holds no marker,
// or one of any other type, is met for the first time. A marker that cannot be read says nothing
// either way: the defaults would overwrite a person's settings for a passing error, so the stored
// words are loaded instead.
bool IsFirstRun(IPropertyStore* fxStore) {
    CPropVariant marker;
    HRESULT hr = fxStore->GetValue(PKEY_Xan_FirstRunMarker, &marker);
    return SUCCEEDED(hr) && marker->vt != VT_UI4;
}

void WriteFirstRunMarker(IPropertyStore* fxStore) {
    // The one write that goes through the read-only handle itself; whether it persists is the
    // store's business, and its result is not needed.
    CPropVariant marker;
    marker.SetUInt32(0);
    fxStore->SetValue(PKEY_Xan_FirstRunMarker, *marker.Get());
}

void WriteDefaults(IMMDevice* device, int formFactor) {
    EffectDefaults defaults = GetEffectDefaults(formFactor);

    g_modeWord = defaults.modeWord;
    WriteModeWord(device, g_modeWord.enabled, g_modeWord.modeOption, g_modeWord.bits8to11,
                  g_modeWord.bits4to6, g_modeWord.bit3, g_modeWord.bit0);

    g_headphone = defaults.headphone;
    WriteHeadphoneWord(device, g_headphone.enabled, g_headphone.bit0Option,
                       g_headphone.bits8to11Option, g_headphone.bits4to7Option);

    WriteHeadphoneSelector(device, defaults.headphoneSelector);

    g_soundSpaceExpander = defaults.soundSpaceExpander;
    WriteEffectWord(device, PKEY_Xan_SoundSpaceExpander,
                    PackSoundSpaceExpander(g_soundSpaceExpander));

    g_levelWord = defaults.levelWord;
    WriteEffectWord(device, PKEY_Xan_LevelWord, PackLevelWord(g_levelWord));

    g_naturalBass = defaults.naturalBass;
    WriteEffectWord(device, PKEY_Xan_NaturalBass, PackNaturalBass(g_naturalBass));
}

HeldWords LoadStoredWords(IPropertyStore* fxStore, IMMDevice* device) {
    // Zeroed first, so a coded field whose stored bits have no code ends up 0.
    g_modeWord = {};
    g_headphone = {};
    g_soundSpaceExpander = {};
    g_levelWord = {};
    g_naturalBass = {};

    DWORD word = 0;
    ReadEffectWord(fxStore, PKEY_Xan_ModeWord, &word);
    UnpackModeWord(word, &g_modeWord);

    StoredWord headphone = StoredWord::None;
    ReadEffectWord(fxStore, PKEY_Xan_Headphone, &word, &headphone);
    UnpackHeadphone(word, &g_headphone);

    // Selector 1 belongs with an enabled headphone effect; with the effect off it goes back to 2.
    // A headphone word that is not there reads as off; one that cannot be read, or holds no
    // number, says nothing of the effect and leaves the selector.
    DWORD selector = 0;
    if (SUCCEEDED(ReadEffectWord(fxStore, PKEY_Xan_HeadphoneSelector, &selector)) &&
        selector == 1 && headphone != StoredWord::None && !g_headphone.enabled) {
        WriteHeadphoneSelector(device, 2);
    }

    ReadEffectWord(fxStore, PKEY_Xan_SoundSpaceExpander, &word);
    UnpackSoundSpaceExpander(word, &g_soundSpaceExpander);

    ReadEffectWord(fxStore, PKEY_Xan_LevelWord, &word);
    UnpackLevelWord(word, &g_levelWord);

    StoredWord naturalBass = StoredWord::None;
    ReadEffectWord(fxStore, PKEY_Xan_NaturalBass, &word, &naturalBass);
    UnpackNaturalBass(word, &g_naturalBass);

    return {headphone == StoredWord::Integer, naturalBass == StoredWord::Integer};
}

}  // namespace

void LoadEffectState(IPropertyStore* fxStore, IMMDevice* device, int formFactor,
                     HeldWords* held) {
    if (!fxStore) {
        return;
    }
    HeldWords taken = {true, true};  // the defaults are words
    if (IsFirstRun(fxStore)) {
        WriteFirstRunMarker(fxStore);
        WriteDefaults(device, formFactor);
    } else {
        taken = LoadStoredWords(fxStore, device);
    }
    if (held) {
        *held = taken;
    }
}
