#include "fxstore/EffectWriters.h"

#include "framework/CCoTaskMemString.h"
#include "framework/CPropVariant.h"
#include "fxstore/EffectWords.h"
#include "fxstore/FxPropertyStore.h"
#include "fxstore/PropertyKeys.h"

HRESULT WriteEffectWord(IMMDevice* device, const PROPERTYKEY& key, DWORD word) {
    if (!device) {
        return E_FAIL;
    }
    CCoTaskMemString id;
    HRESULT hr = device->GetId(&id);
    if (FAILED(hr)) {
        return hr;
    }
    if (!id.Get()) {
        return E_FAIL;
    }
    CPropVariant value;
    value.SetUInt32(word);
    return SetFxPropertyValue(id.Get(), key, value.Get());
}

HRESULT ReadHeadphoneSettings(IPropertyStore* fxStore, HeadphoneSettings* out,
                              StoredWord* found) {
    if (found) {
        *found = StoredWord::None;
    }
    if (!fxStore || !out) {
        return E_POINTER;
    }
    DWORD word = 0;
    HRESULT hr = ReadEffectWord(fxStore, PKEY_Xan_Headphone, &word, found);
    UnpackHeadphone(word, out);
    return hr;
}

HRESULT WriteModeWord(IMMDevice* device, BOOL enabled, int modeOption, UINT bits8to11,
                      UINT bits4to6, UINT bit3, UINT bit0) {
    return WriteEffectWord(device, PKEY_Xan_ModeWord,
                           PackModeWord(enabled, modeOption, bits8to11, bits4to6, bit3, bit0));
}

HRESULT WriteHeadphoneWord(IMMDevice* device, BOOL enabled, int bit0Option, int bits8to11Option,
                           int bits4to7Option) {
    return WriteEffectWord(device, PKEY_Xan_Headphone,
                           PackHeadphone(enabled, bit0Option, bits8to11Option, bits4to7Option));
}

HRESULT WriteHeadphoneSelector(IMMDevice* device, UINT value) {
    return WriteEffectWord(device, PKEY_Xan_HeadphoneSelector, value);
}
