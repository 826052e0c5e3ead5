#pragma once

#include <windows.h>
#include <propsys.h>

class CHalvoPageSoundRoom;
class CPageRefresh;

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
    CMyHalvoSREndpointCallbacks(CHalvoPageSoundRoom* page, CPageRefresh* refresh);

    void OnEndpointPropertyChanged(const PROPERTYKEY* key) override;

    // The refresh kind a key asks for, or 0 for none.
    static WPARAM RefreshKindFor(const PROPERTYKEY& key);

    CHalvoPageSoundRoom* page;  // the page the refreshes are for
    CPageRefresh* refresh;      // the page's refresh path
};
