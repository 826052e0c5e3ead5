#pragma once

#include <windows.h>
#include <propsys.h>

#include "fxstore/EffectSettings.h"

// The bit layouts of the effect words. Unpacking fills a record from a word; a coded field whose
// bits carry no listed code keeps the value it had. Packing rebuilds a whole word from a record
// and never merges into a stored word.

// Reads one effect word through the FX store handle: the value's 32-bit payload whatever its
// type. A failed read, or a value with no number in it, gives 0 (and GetValue's result).
HRESULT ReadEffectWord(IPropertyStore* fxStore, const PROPERTYKEY& key, DWORD* word);
// The same, but S_FALSE (and 0) when the read succeeded without a word: the store holds no value
// for the key (VT_EMPTY) or one with no number in it. A command that changes one field of a word
// builds on its last reading then: a word built on nothing would wipe the other fields.
HRESULT ReadStoredEffectWord(IPropertyStore* fxStore, const PROPERTYKEY& key, DWORD* word);

void UnpackNaturalBass(DWORD word, NaturalBassSettings* settings);
void UnpackLevelWord(DWORD word, LevelWordSettings* settings);
void UnpackSoundSpaceExpander(DWORD word, SoundSpaceExpanderSettings* settings);
void UnpackHeadphone(DWORD word, HeadphoneSettings* settings);
void UnpackModeWord(DWORD word, ModeWordSettings* settings);

DWORD PackNaturalBass(const NaturalBassSettings& settings);
DWORD PackLevelWord(const LevelWordSettings& settings);
DWORD PackSoundSpaceExpander(const SoundSpaceExpanderSettings& settings);
DWORD PackHeadphone(BOOL enabled, int bit0Option, int bits8to11Option, int bits4to7Option);
// The operands are placed unmasked: the first-run default puts 14 into the 3-bit field at bit 4.
DWORD PackModeWord(BOOL enabled, int modeOption, UINT bits8to11, UINT bits4to6, UINT bit3,
                   UINT bit0);
