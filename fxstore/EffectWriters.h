#pragma once

#include <windows.h>
#include <mmdeviceapi.h>
#include <propsys.h>

#include "fxstore/EffectSettings.h"
#include "fxstore/EffectWords.h"

// Writing an effect word: the device's id, a VT_UI4 value, SetFxPropertyValue. Each writer
// returns E_FAIL for a null device or when GetId yields no id, GetId's failure as it is (nothing
// is written in these cases), and otherwise SetFxPropertyValue's result.

HRESULT WriteEffectWord(IMMDevice* device, const PROPERTYKEY& key, DWORD word);

// Reads PKEY_Xan_Headphone and unpacks it into *out in any case (a failed read unpacks the word
// 0); returns GetValue's result, or E_POINTER without a store. `found` as ReadEffectWord says.
HRESULT ReadHeadphoneSettings(IPropertyStore* fxStore, HeadphoneSettings* out,
                              StoredWord* found = nullptr);

HRESULT WriteModeWord(IMMDevice* device, BOOL enabled, int modeOption, UINT bits8to11,
                      UINT bits4to6, UINT bit3, UINT bit0);
HRESULT WriteHeadphoneWord(IMMDevice* device, BOOL enabled, int bit0Option, int bits8to11Option,
                           int bits4to7Option);
HRESULT WriteHeadphoneSelector(IMMDevice* device, UINT value);
