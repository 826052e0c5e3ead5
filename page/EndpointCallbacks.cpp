#include "page/EndpointCallbacks.h"

#include "fxstore/PropertyKeys.h"
#include "page/PageRefresh.h"

CMyHalvoSREndpointCallbacks::CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page,
                                                         CPageRefresh* refresh)
    : page(page), refresh(refresh) {}

WPARAM CMyHalvoSREndpointCallbacks::RefreshKindFor(const PROPERTYKEY& key) {
    // Only the format id counts; the first match decides.
    if (IsEqualGUID(key.fmtid, PKEY_AudioEndpoint_Disable_SysFx.fmtid)) {
        return EPC_BYPASS;
    }
    if (IsEqualGUID(key.fmtid, PKEY_Xan_Headphone.fmtid) ||
        IsEqualGUID(key.fmtid, PKEY_Xan_SoundSpaceExpander.fmtid) ||
        IsEqualGUID(key.fmtid, PKEY_Xan_NaturalBass.fmtid)) {
        return EPC_EFFECTS;
    }
    if (IsEqualGUID(key.fmtid, PKEY_Xan_JackChange.fmtid)) {
        return EPC_JACK;
    }
    return 0;
}

void CMyHalvoSREndpointCallbacks::OnEndpointPropertyChanged(const PROPERTYKEY* key) {
    WPARAM kind = key ? RefreshKindFor(*key) : 0;
    if (kind) {
        refresh->Changed(kind);
    }
}
