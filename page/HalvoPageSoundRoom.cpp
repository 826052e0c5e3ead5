#include "page/HalvoPageSoundRoom.h"

#include <cwchar>
#include <new>

#include "app/EndpointNotifier.h"
#include "driver/PolicyState.h"
#include "framework/CCoInitialize.h"
#include "framework/CPropVariant.h"
#include "fxstore/EffectState.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EffectWriters.h"
#include "fxstore/EndpointFormat.h"
#include "fxstore/PropertyKeys.h"
#include "page/EndpointCallbacks.h"
#include "res/resource.h"

CMyHalvoSREndpointCallbacks* g_pEndpointCallbacks = nullptr;

IMPLEMENT_DYNAMIC(CHalvoPageSoundRoom, CPropertyPage)

CHalvoPageSoundRoom::CHalvoPageSoundRoom() : CPropertyPage(IDD_SOUND_ROOM) {}

CHalvoPageSoundRoom::~CHalvoPageSoundRoom() {
    // The controls' windows went with the page; the device goes before its enumerator.
    if (m_pDevice) {
        m_pDevice->Release();
        m_pDevice = nullptr;
    }
    if (m_pEnumerator) {
        m_pEnumerator->Release();
        m_pEnumerator = nullptr;
    }
    m_bmpLogo.DeleteObject();
}

void CHalvoPageSoundRoom::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BYPASS, m_btnBypass);
    DDX_Control(pDX, IDC_SOUND_SPACE_EXPANDER, m_btnSoundSpaceExpander);
    DDX_Control(pDX, IDC_HEADPHONE, m_btnHeadphone);
    DDX_Control(pDX, IDC_NATURAL_BASS, m_btnNaturalBass);
    DDX_Control(pDX, IDC_BASS_BOOST, m_sldBassBoost);
    DDX_Control(pDX, IDC_BASS_BOOST_VALUE, m_edtBassBoost);
    DDX_Control(pDX, IDC_LOGO, m_picLogo);
}

BOOL CHalvoPageSoundRoom::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    SetWindowText(L"Halvo Setting");

    m_nFormFactor = GetEndpointFormFactor(m_pszEndpointId);
    switch (m_nFormFactor) {
        case Speakers: {
            BOOL headphones = FALSE;
            GetHDAudPolicyState(&headphones);
            ShowPresentation(headphones);
            break;
        }
        case Headphones:
        case Headset: ShowPresentation(TRUE); break;
        default: ShowPresentation(FALSE); break;
    }

    ReadBypass();

    LOGFONTW iconTitleFont = {};
    if (::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof iconTitleFont, &iconTitleFont, 0) &&
        m_font.CreateFontIndirect(&iconTitleFont)) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.GetSafeHandle()), TRUE);
    }

    {
        // On the program's thread, already in the multithreaded apartment, this changes nothing.
        CCoInitialize apartment(COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                       IID_IMMDeviceEnumerator,
                                       reinterpret_cast<void**>(&m_pEnumerator))) &&
            m_pEnumerator) {
            if (FAILED(m_pEnumerator->GetDevice(m_pszEndpointId, &m_pDevice))) {
                m_pDevice = nullptr;
            }
        } else {
            m_pEnumerator = nullptr;
        }
    }

    LoadEffectState(m_pFxStore, m_pDevice, m_nFormFactor, &m_heldWords);

    if (m_bmpLogo.LoadBitmap(IDB_LOGO)) {
        m_picLogo.SetBitmap(m_bmpLogo);
    }
    m_picLogo.SetWindowPos(&wndTop, 300, 20, 0, 0, SWP_NOSIZE);

    m_sldBassBoost.SetRange(0, 6, FALSE);

    // The refresh path knows the window before a change can reach it.
    m_refresh.Start(m_hWnd);
    g_pEndpointCallbacks = new (std::nothrow) CMyHalvoSREndpointCallbacks(this, &m_refresh);
    if (m_pNotifier && g_pEndpointCallbacks) {
        SetNotifierEndpoint(m_pNotifier, m_pszEndpointId);
        if (AddEndpointCallback(m_pNotifier, g_pEndpointCallbacks)) {
            // A change that landed after the load and before the callback was listed reached no
            // one: the words are read once more, so the page shows the store as it is now. Only
            // words the store holds are taken: a first run whose defaults could not be written
            // goes on showing them.
            ReadShownWords(true);
            ReadBypass();
        }
    }

    // The controls show what was read, once: the page is not on the screen yet, and no change
    // can reach it before it is ready.
    UpdateControls();
    m_bReady = TRUE;
    return TRUE;
}

// The speaker page offers the Sound Space Expander, the headphone page Halvo Headphone; the
// sheet is titled after the face it shows.
void CHalvoPageSoundRoom::ShowPresentation(BOOL headphones) {
    if (headphones) {
        m_btnSoundSpaceExpander.ShowWindow(SW_HIDE);
        GetParent()->SetWindowText(L"Headphone Properties");
    } else {
        m_btnHeadphone.ShowWindow(SW_HIDE);
        GetParent()->SetWindowText(L"Internal Speaker Properties");
    }
}

// The hidden bypass box follows a readable VT_UI4 value and is left as it is otherwise.
void CHalvoPageSoundRoom::ReadBypass() {
    if (!m_pFxStore) {
        return;
    }
    CPropVariant value;
    if (SUCCEEDED(m_pFxStore->GetValue(PKEY_AudioEndpoint_Disable_SysFx, &value)) &&
        value->vt == VT_UI4) {
        m_btnBypass.SetCheck(value->ulVal != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void CHalvoPageSoundRoom::UpdateControls() {
    m_btnSoundSpaceExpander.SetCheck(g_soundSpaceExpander.enabled != 0);
    m_btnHeadphone.SetCheck(g_headphone.enabled != 0 &&
                            g_headphone.bit0Option == OPTION_HEADPHONE_BIT0_SET);
    m_btnNaturalBass.SetCheck(g_naturalBass.enabled != 0);
    m_sldBassBoost.SetPos(g_naturalBass.boostLevel);
    WCHAR level[16];
    swprintf(level, 16, L"%d", g_naturalBass.boostLevel);
    m_edtBassBoost.SetWindowText(level);

    if (m_btnBypass.GetCheck() != 0) {
        m_btnSoundSpaceExpander.EnableWindow(FALSE);
        m_btnHeadphone.EnableWindow(FALSE);
        m_btnNaturalBass.EnableWindow(FALSE);
        m_sldBassBoost.EnableWindow(FALSE);
    } else {
        m_btnSoundSpaceExpander.EnableWindow(TRUE);
        m_btnHeadphone.EnableWindow(TRUE);
        m_btnNaturalBass.EnableWindow(TRUE);
        m_sldBassBoost.EnableWindow(m_btnNaturalBass.GetCheck() != 0);
    }
}

void CHalvoPageSoundRoom::UpdateJackLayout() {
    if (m_nFormFactor != Speakers) {
        return;
    }
    BOOL headphones = FALSE;
    GetHDAudPolicyState(&headphones);
    if (headphones) {
        m_btnSoundSpaceExpander.ShowWindow(SW_HIDE);
        m_btnHeadphone.ShowWindow(SW_SHOW);
        GetParent()->SetWindowText(L"Headphone Properties");
    } else {
        m_btnSoundSpaceExpander.ShowWindow(SW_SHOW);
        m_btnHeadphone.ShowWindow(SW_HIDE);
        GetParent()->SetWindowText(L"Internal Speaker Properties");
    }
}

// The three words the page shows. The refresh takes each word it reads, one that is not there as 0
// (off); a word whose read fails keeps its record. With `storedOnly`, only words the store holds
// are taken.
void CHalvoPageSoundRoom::ReadShownWords(bool storedOnly) {
    if (m_pFxStore) {
        auto taken = [storedOnly](HRESULT hr, StoredWord found) {
            return SUCCEEDED(hr) &&
                   (!storedOnly || found == StoredWord::Payload || found == StoredWord::Integer);
        };
        // Option fields whose bits carry no code keep their cached codes, as the commands do.
        HeadphoneSettings headphone = g_headphone;
        StoredWord found = StoredWord::None;
        HRESULT hr = ReadHeadphoneSettings(m_pFxStore, &headphone, &found);
        if (taken(hr, found)) {
            g_headphone = headphone;
            m_heldWords.headphone = found == StoredWord::Integer;
        }
        DWORD word = 0;
        hr = ReadEffectWord(m_pFxStore, PKEY_Xan_SoundSpaceExpander, &word, &found);
        if (taken(hr, found)) {
            UnpackSoundSpaceExpander(word, &g_soundSpaceExpander);
        }
        hr = ReadEffectWord(m_pFxStore, PKEY_Xan_NaturalBass, &word, &found);
        if (taken(hr, found)) {
            UnpackNaturalBass(word, &g_naturalBass);
            m_heldWords.naturalBass = found == StoredWord::Integer;
        }
    }
}

void CHalvoPageSoundRoom::Refresh(WPARAM kind) {
    switch (kind) {
        case EPC_BYPASS:
            ReadBypass();
            UpdateControls();
            break;
        case EPC_EFFECTS:
            ReadShownWords(false);
            UpdateControls();
            break;
        case EPC_JACK: UpdateJackLayout(); break;
        default: break;
    }
}

LRESULT CHalvoPageSoundRoom::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_bReady) {
        auto refresh = [this](WPARAM kind) { Refresh(kind); };
        if (message == WM_ENDPOINT_PROPERTY_CHANGED) {
            m_refresh.OnMessage(wParam, refresh);
        } else if (message == WM_TIMER && CPageRefresh::IsRefreshTimer(wParam)) {
            m_refresh.OnTimer(wParam, refresh);
        } else if (message == WM_HSCROLL && m_sldBassBoost.m_hWnd &&
                   reinterpret_cast<HWND>(lParam) == m_sldBassBoost.m_hWnd) {
            OnBassBoostScroll(LOWORD(wParam));
        }
    }
    return CPropertyPage::WindowProc(message, wParam, lParam);
}
