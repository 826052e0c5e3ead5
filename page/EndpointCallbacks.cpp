#include "page/EndpointCallbacks.h"

#include "fxstore/PropertyKeys.h"
#include "page/HalvoPageSoundRoom.h"
#include "platform/Platform.h"

CMyHalvoSREndpointCallbacks::CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page)
    : page(page), m_hWndPage(page->m_hWnd) {}

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

int CMyHalvoSREndpointCallbacks::Slot(WPARAM kind) {
    switch (kind) {
        case EPC_BYPASS: return 0;
        case EPC_EFFECTS: return 1;
        case EPC_JACK: return 2;
        default: return -1;
    }
}

void CMyHalvoSREndpointCallbacks::OnEndpointPropertyChanged(const PROPERTYKEY* key) {
    WPARAM kind = key ? RefreshKindFor(*key) : 0;
    if (!kind) {
        return;
    }
    InterlockedExchange(&m_pending[Slot(kind)], 1);
    // A refresh on its way, or the page's rest, will see this change too.
    if (TryShutGate() &&
        !platform::PostMessageW(m_hWndPage, WM_ENDPOINT_PROPERTY_CHANGED, kind, 0)) {
        OpenGate();  // the next change, or the page's sweep, tries again
    }
}

bool CMyHalvoSREndpointCallbacks::TakePending(WPARAM kind) {
    int slot = Slot(kind);
    return slot >= 0 && InterlockedExchange(&m_pending[slot], 0) != 0;
}

bool CMyHalvoSREndpointCallbacks::AnyPending() const {
    return m_pending[0] || m_pending[1] || m_pending[2];
}
