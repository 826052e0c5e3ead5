#pragma once

#include <windows.h>
#include <propsys.h>

class CHalvoPageSoundRoom;

// The page's refresh message: wParam is the kind of refresh, lParam 0.
constexpr UINT WM_ENDPOINT_PROPERTY_CHANGED = 3041;
enum : WPARAM {
    EPC_BYPASS = 1,    // re-read the bypass value, then refresh the controls
    EPC_EFFECTS = 12,  // re-read the headphone, expander and Natural Bass words, then refresh
    EPC_JACK = 18,     // re-decide the speaker or headphone presentation
};

// A receiver of the notifications the client forwards.
class CEndpointCallbacks {
public:
    virtual ~CEndpointCallbacks() = default;
    virtual void OnEndpointPropertyChanged(const PROPERTYKEY* key) = 0;
};

// The page's receiver: turns a changed key into a refresh posted to the page's window. A refresh
// already posted and not yet handled is not posted again, so a burst of changes leaves at most
// one message of each kind in the queue; the page takes the kind back when it handles it, and
// picks up any kind whose post failed on its next sweep.
class CMyHalvoSREndpointCallbacks : public CEndpointCallbacks {
public:
    explicit CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page);

    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override;

    // The refresh kind a key asks for, or 0 for none.
    static WPARAM RefreshKindFor(const PROPERTYKEY& key);

    // On the page's thread: whether a refresh of that kind is due, clearing it.
    bool TakePending(WPARAM kind);

    CHalvoPageSoundRoom* page;

    // How the refresh is posted: PostMessageW, unless a test makes posting fail.
    static BOOL(WINAPI* s_postMessage)(HWND, UINT, WPARAM, LPARAM);

private:
    static int Slot(WPARAM kind);

    HWND m_hWndPage;
    volatile LONG m_pending[3] = {};  // bypass, effects, jack
};
