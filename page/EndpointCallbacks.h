#pragma once

#include <windows.h>
#include <propsys.h>

#include "page/PageRefresh.h"

class CHalvoPageSoundRoom;

// A receiver of the notifications the client forwards.
class CEndpointCallbacks {
public:
    virtual ~CEndpointCallbacks() = default;
    virtual void OnEndpointPropertyChanged(const PROPERTYKEY* key) = 0;
};

// The page's receiver: turns a changed key into its kind of refresh and hands it to the page's
// refresh path (page/PageRefresh.h), which marks it due and posts to the page's window.
class CMyHalvoSREndpointCallbacks : public CEndpointCallbacks {
public:
    explicit CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page);

    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override;

    // The refresh kind a key asks for, or 0 for none.
    static WPARAM RefreshKindFor(const PROPERTYKEY& key);

    // The page's refresh states, for those who watch them.
    bool TakePending(WPARAM kind) { return m_refresh->TakePending(kind); }
    bool AnyPending() const { return m_refresh->AnyPending(); }
    bool TryShutGate() { return m_refresh->TryShutGate(); }
    void OpenGate() { m_refresh->OpenGate(); }

    CHalvoPageSoundRoom* page;

private:
    HWND m_hWndPage;
    CPageRefresh* m_refresh;  // the page's
};
