#include "page/EndpointCallbacks.h"

#include "fxstore/PropertyKeys.h"
#include "page/HalvoPageSoundRoom.h"

CMyHalvoSREndpointCallbacks::CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page)
    : page(page), m_hWndPage(page->m_hWnd), m_refresh(&page->m_refresh) {}

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
        m_refresh->Changed(kind, m_hWndPage);
    }
}
