#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <propsys.h>

#include "fxstore/EffectSettings.h"

// The decoded effect words of the endpoint the page shows: one record each for the process,
// filled by LoadEffectState and kept up to date by the page.
extern NaturalBassSettings g_naturalBass;
extern LevelWordSettings g_levelWord;
extern SoundSpaceExpanderSettings g_soundSpaceExpander;
extern HeadphoneSettings g_headphone;
extern ModeWordSettings g_modeWord;

// Whether the page's records of the two words a command changes in part were taken from a word:
// a stored integer, a first-run default, or the word a command built. A record unpacked from no
// word (nothing stored, a blob, a string) shows what was read, but a command does not build on it.
struct HeldWords {
    bool headphone;
    bool naturalBass;
};

// Fills the five records from the FX store. A store without the first-run marker gets the marker
// and the default words for the form factor first (the records then hold the defaults); a later
// start loads the stored words. Writes need the device and are skipped without it; no failure
// stops the load, and a word that cannot be read counts as 0. `held`, when given, says which
// records were taken from a word.
void LoadEffectState(IPropertyStore* fxStore, IMMDevice* device, int formFactor,
                     HeldWords* held = nullptr);
