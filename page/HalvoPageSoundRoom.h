#pragma once

#include <afxcmn.h>
#include <afxdlgs.h>
#include <mmdeviceapi.h>
#include <propsys.h>

struct CEndpointNotifier;
class CMyHalvoSREndpointCallbacks;

// The page's callback object while the page is alive.
extern CMyHalvoSREndpointCallbacks* g_pEndpointCallbacks;

// The effect page, the program's whole user interface: the effect boxes and the bass-boost slider
// for the endpoint start-up chose, presented as a speaker or a headphone page. Every command is
// written at once; the controls follow the store through the change notifications.
class CHalvoPageSoundRoom : public CPropertyPage {
    DECLARE_DYNAMIC(CHalvoPageSoundRoom)
public:
    CHalvoPageSoundRoom();
    ~CHalvoPageSoundRoom() override;

    WCHAR* m_pszEndpointId = nullptr;          // start-up's buffer; not owned
    IPropertyStore* m_pFxStore = nullptr;      // start-up's; not owned; every read goes here
    BOOL m_bReady = FALSE;                     // refreshes are ignored while FALSE
    CEndpointNotifier* m_pNotifier = nullptr;  // start-up's; not owned
    int m_nFormFactor = 0;
    CBitmap m_bmpLogo;
    IMMDeviceEnumerator* m_pEnumerator = nullptr;
    IMMDevice* m_pDevice = nullptr;  // every write uses its id
    CButton m_btnBypass;
    CButton m_btnSoundSpaceExpander;
    CButton m_btnHeadphone;
    CButton m_btnNaturalBass;
    CSliderCtrl m_sldBassBoost;
    CEdit m_edtBassBoost;
    CStatic m_picLogo;
    CFont m_font;

    // Shows the cached effect state and sets which controls are enabled.
    void UpdateControls();
    // For a Speakers endpoint, re-decides between the speaker and the headphone presentation.
    void UpdateJackLayout();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

    afx_msg void OnBnClickedBypass();
    afx_msg void OnBnClickedSoundSpaceExpander();
    afx_msg void OnBnClickedHeadphone();
    afx_msg void OnBnClickedNaturalBass();
    afx_msg void OnNMCustomdrawBassBoost(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnDestroy();
    afx_msg void OnNMReleasedcaptureBassBoost(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()

private:
    // After a refresh the page rests this long before the next; the sweep looks for refreshes
    // whose message could not be posted.
    static constexpr UINT_PTR kRefreshRestTimer = 0x4852;
    static constexpr UINT kRefreshRestMilliseconds = 10;
    static constexpr UINT_PTR kRefreshSweepTimer = 0x4853;
    static constexpr UINT kRefreshSweepMilliseconds = 250;

    // A move of the slider by the keyboard or the wheel is under way: it is stored when it ends.
    BOOL m_bSliderMovedByKeys = FALSE;

    void ShowPresentation(BOOL headphones);
    void ReadBypass();
    void RefreshEffects();
    void Refresh(WPARAM kind);
    void RefreshDue(WPARAM kind);
    void OnRefreshTimer(UINT_PTR timer);
    void RunFormatCheck();
    void OnBassBoostScroll(UINT code);
    void StoreBassBoostLevel();
};
