#pragma once

#include <afxdlgs.h>
#include <propsys.h>

struct CEndpointNotifier;

// The effect page on dialog 102: for now only what start-up hands it.
class CHalvoPageSoundRoom : public CPropertyPage {
    DECLARE_DYNAMIC(CHalvoPageSoundRoom)
public:
    CHalvoPageSoundRoom();
    ~CHalvoPageSoundRoom() override;

    WCHAR* m_pszEndpointId = nullptr;
    IPropertyStore* m_pFxStore = nullptr;
    BOOL m_bReady = FALSE;
    CEndpointNotifier* m_pNotifier = nullptr;

protected:
    BOOL OnInitDialog() override;
};
