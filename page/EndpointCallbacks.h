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

// The page's receiver: turns a changed key into a refresh posted to the page's window. Every
// change marks its kind as due; only the first change after the page has caught up posts a
// message (the gate), so a burst of changes never floods the page's queue. After a refresh the
// page keeps the gate shut for a short rest, in which it reads what came meanwhile all at once;
// input and painting get their turn between. A kind whose message could not be posted is picked
// up by the page's sweep.
class CMyHalvoSREndpointCallbacks : public CEndpointCallbacks {
public:
    explicit CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page);

    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override;

    // The refresh kind a key asks for, or 0 for none.
    static WPARAM RefreshKindFor(const PROPERTYKEY& key);

    // On the page's thread: whether a refresh of that kind is due, clearing it.
    bool TakePending(WPARAM kind);
    bool AnyPending() const;
    // The gate: shut while a message is on its way or the page rests; TryShutGate says whether
    // this call shut it.
    bool TryShutGate() { return InterlockedExchange(&m_gateShut, 1) == 0; }
    void OpenGate() { InterlockedExchange(&m_gateShut, 0); }

    CHalvoPageSoundRoom* page;

private:
    static int Slot(WPARAM kind);

    HWND m_hWndPage;
    volatile LONG m_pending[3] = {};  // bypass, effects, jack
    volatile LONG m_gateShut = 0;
};
