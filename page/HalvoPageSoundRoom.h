#pragma once

#include <afxcmn.h>
#include <afxdlgs.h>
#include <mmdeviceapi.h>
#include <propsys.h>

#include "fxstore/EffectState.h"
#include "page/PageRefresh.h"

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
    // Marked by the page's callback on the audio service's threads, read on this one.
    CPageRefresh m_refresh;
    // Which records of the words a command changes in part were taken from a word.
    HeldWords m_heldWords = {};
    // A move of the slider by the keyboard or the wheel is under way: it is stored when it ends.
    // Set and cleared through SetKeyboardMovePending only.
    BOOL m_bSliderMovedByKeys = FALSE;

    void ShowPresentation(BOOL headphones);
    void ReadBypass();
    void ReadShownWords(bool storedOnly);
    void Refresh(WPARAM kind);
    void RunFormatCheck();
    void BuildOnHeadphoneWord();
    void BuildOnNaturalBassWord();
    void OnBassBoostScroll(UINT code);
    void SetKeyboardMovePending(BOOL pending);
    void OnBassBoostFocusLost();
    void StoreBassBoostLevel();
    static LRESULT CALLBACK BassBoostProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR page);
};
