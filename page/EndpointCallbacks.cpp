#include "page/EndpointCallbacks.h"

#include "fxstore/PropertyKeys.h"
#include "page/HalvoPageSoundRoom.h"

BOOL(WINAPI* CMyHalvoSREndpointCallbacks::s_postMessage)(HWND, UINT, WPARAM,
                                                         LPARAM) = &::PostMessageW;

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
    return kind == EPC_BYPASS ? 0 : kind == EPC_EFFECTS ? 1 : 2;
}

void CMyHalvoSREndpointCallbacks::OnEndpointPropertyChanged(const PROPERTYKEY* key) {
    WPARAM kind = key ? RefreshKindFor(*key) : 0;
    if (!kind) {
        return;
    }
    // A refresh still waiting in the queue will see this change too.
    if (InterlockedExchange(&m_pending[Slot(kind)], 1) == 0) {
        s_postMessage(m_hWndPage, WM_ENDPOINT_PROPERTY_CHANGED, kind, 0);
    }
}

bool CMyHalvoSREndpointCallbacks::TakePending(WPARAM kind) {
    return InterlockedExchange(&m_pending[Slot(kind)], 0) != 0;
}
