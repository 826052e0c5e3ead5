#pragma once

#include <windows.h>
#include <propsys.h>

#include "fxstore/EffectSettings.h"

// The bit layouts of the effect words. Unpacking fills a record from a word; a coded field whose
// bits carry no listed code keeps the value it had. Packing rebuilds a whole word from a record
// and never merges into a stored word.

// What a read of an effect word found in the store.
enum class StoredWord {
    None,     // the read failed, or the value holds no number (a string, an address)
    Empty,    // the store holds no value for the key (VT_EMPTY or VT_NULL)
    Payload,  // a number of another kind, taken by its first four bytes: a blob's or a vector's
              // count, a floating-point value's bits
    Integer,  // an integer of any width
};

// Reads one effect word through the FX store handle and returns GetValue's result. The word is
// the value's 32-bit payload whatever its type, as the load and the refresh take it, and 0 when
// the read fails or the value holds no number. `found` says what the store held: a command that
// changes one field of a word builds only on an integer there, since a word built on nothing
// would wipe the word's other fields.
HRESULT ReadEffectWord(IPropertyStore* fxStore, const PROPERTYKEY& key, DWORD* word,
                       StoredWord* found = nullptr);

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
