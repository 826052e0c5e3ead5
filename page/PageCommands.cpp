// The page's answers to the user: each writes the effect word it changes at once. The controls
// catch up when the store's change notification comes back.
#include "app/EndpointNotifier.h"
#include "fxstore/EffectDefaults.h"
#include "fxstore/EffectState.h"
#include "fxstore/EffectWords.h"
#include "fxstore/EffectWriters.h"
#include "fxstore/EndpointFormat.h"
#include "fxstore/PropertyKeys.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"

namespace {

constexpr DWORD kExpanderOn = 0x80000001;
constexpr DWORD kExpanderOff = 0x00000001;  // bit 0 stays set: option 13

// The record a command changes one field of: the stored word when the store holds an integer
// there; when the read fails or finds none, the page's last reading if that was a word, and
// otherwise the word's first-run default. A word built on nothing would wipe its other fields.
template <typename Settings>
void BuildOn(IPropertyStore* fxStore, const PROPERTYKEY& key, void (*unpack)(DWORD, Settings*),
             const Settings& firstRun, Settings* record, bool* held) {
    DWORD word = 0;
    StoredWord found = StoredWord::None;
    if (fxStore) {
        ReadEffectWord(fxStore, key, &word, &found);
    }
    if (found == StoredWord::Integer) {
        unpack(word, record);
    } else if (!*held) {
        *record = firstRun;
    }
    *held = true;  // the record now holds the word the command builds
}

}  // namespace

BEGIN_MESSAGE_MAP(CHalvoPageSoundRoom, CPropertyPage)
ON_BN_CLICKED(IDC_BYPASS, &CHalvoPageSoundRoom::OnBnClickedBypass)
ON_BN_CLICKED(IDC_SOUND_SPACE_EXPANDER, &CHalvoPageSoundRoom::OnBnClickedSoundSpaceExpander)
ON_BN_CLICKED(IDC_HEADPHONE, &CHalvoPageSoundRoom::OnBnClickedHeadphone)
ON_BN_CLICKED(IDC_NATURAL_BASS, &CHalvoPageSoundRoom::OnBnClickedNaturalBass)
ON_NOTIFY(NM_CUSTOMDRAW, IDC_BASS_BOOST, &CHalvoPageSoundRoom::OnNMCustomdrawBassBoost)
ON_WM_DESTROY()
ON_NOTIFY(NM_RELEASEDCAPTURE, IDC_BASS_BOOST, &CHalvoPageSoundRoom::OnNMReleasedcaptureBassBoost)
END_MESSAGE_MAP()

// The effects handle 44100 and 48000 Hz at 16 or 24 valid bits; any other format is switched to
// stereo 48000 Hz, 24 bits before an effect goes on. A format that cannot be read is left alone.
void CHalvoPageSoundRoom::RunFormatCheck() {
    DWORD sampleRate = 0;
    WORD validBits = 0;
    if (SUCCEEDED(GetEndpointDeviceFormat(m_pszEndpointId, &sampleRate, &validBits)) &&
        ((sampleRate != 44100 && sampleRate != 48000) || (validBits != 24 && validBits != 16))) {
        ForceStereo48kFormat(m_pszEndpointId);
    }
}

void CHalvoPageSoundRoom::BuildOnHeadphoneWord() {
    BuildOn(m_pFxStore, PKEY_Xan_Headphone, &UnpackHeadphone,
            GetEffectDefaults(m_nFormFactor).headphone, &g_headphone, &m_heldWords.headphone);
}

void CHalvoPageSoundRoom::BuildOnNaturalBassWord() {
    BuildOn(m_pFxStore, PKEY_Xan_NaturalBass, &UnpackNaturalBass,
            GetEffectDefaults(m_nFormFactor).naturalBass, &g_naturalBass, &m_heldWords.naturalBass);
}

void CHalvoPageSoundRoom::OnBnClickedSoundSpaceExpander() {
    int on = m_btnSoundSpaceExpander.GetCheck();
    g_soundSpaceExpander = {on, OPTION_SSE_BIT0_SET};
    if (on) {
        RunFormatCheck();
    }
    WriteEffectWord(m_pDevice, PKEY_Xan_SoundSpaceExpander, on ? kExpanderOn : kExpanderOff);

    // On speakers the two boxes are one switch: the headphone effect follows.
    if (m_nFormFactor == Speakers) {
        BuildOnHeadphoneWord();
        g_headphone.enabled = m_btnSoundSpaceExpander.GetCheck();
        WriteHeadphoneWord(m_pDevice, g_headphone.enabled, g_headphone.bit0Option,
                           g_headphone.bits8to11Option, g_headphone.bits4to7Option);
    }
}

void CHalvoPageSoundRoom::OnBnClickedHeadphone() {
    BuildOnHeadphoneWord();
    g_headphone.enabled = m_btnHeadphone.GetCheck();
    if (g_headphone.enabled && g_headphone.bit0Option == OPTION_HEADPHONE_BIT0_SET) {
        RunFormatCheck();
    }
    WriteHeadphoneWord(m_pDevice, g_headphone.enabled, g_headphone.bit0Option,
                       g_headphone.bits8to11Option, g_headphone.bits4to7Option);

    // On speakers the two boxes are one switch: the expander follows.
    if (m_nFormFactor == Speakers) {
        int on = m_btnHeadphone.GetCheck();
        g_soundSpaceExpander = {on, OPTION_SSE_BIT0_SET};
        WriteEffectWord(m_pDevice, PKEY_Xan_SoundSpaceExpander, on ? kExpanderOn : kExpanderOff);
    }
}

void CHalvoPageSoundRoom::OnBnClickedNaturalBass() {
    BuildOnNaturalBassWord();
    g_naturalBass.enabled = m_btnNaturalBass.GetCheck();
    if (g_naturalBass.enabled) {
        RunFormatCheck();
    }
    WriteEffectWord(m_pDevice, PKEY_Xan_NaturalBass, PackNaturalBass(g_naturalBass));
}

// The slider's level goes into the stored Natural Bass word; the read-out follows the refresh.
void CHalvoPageSoundRoom::StoreBassBoostLevel() {
    BuildOnNaturalBassWord();
    g_naturalBass.boostLevel = m_sldBassBoost.GetPos();
    WriteEffectWord(m_pDevice, PKEY_Xan_NaturalBass, PackNaturalBass(g_naturalBass));
}

// The mouse writes when the user lets go of the slider, whether the thumb was dragged or the
// channel clicked.
void CHalvoPageSoundRoom::OnNMReleasedcaptureBassBoost(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    SetKeyboardMovePending(FALSE);
    StoreBassBoostLevel();
}

// The arrow keys, Page Up and Down, Home and End (and the wheel, where the trackbar takes it) move
// the thumb without the mouse capture, and TB_ENDTRACK ends the move: the level is stored then,
// once, however long a key was held. A move by the mouse holds the capture while it sends its
// codes, and the trackbar may send TB_ENDTRACK once more as it lets go: that move is stored on
// NM_RELEASEDCAPTURE alone.
void CHalvoPageSoundRoom::OnBassBoostScroll(UINT code) {
    if (::GetCapture() == m_sldBassBoost.m_hWnd) {
        SetKeyboardMovePending(FALSE);
    } else if (code != TB_ENDTRACK) {
        SetKeyboardMovePending(TRUE);
    } else if (m_bSliderMovedByKeys) {
        SetKeyboardMovePending(FALSE);
        StoreBassBoostLevel();
    }
}

// A key that moved the thumb may be let go over another window, and then no TB_ENDTRACK comes:
// while a keyboard move is pending the slider's loss of the focus ends it too. The slider is
// watched only then, so that its every other message goes straight to it.
void CHalvoPageSoundRoom::SetKeyboardMovePending(BOOL pending) {
    if (pending && !m_bSliderMovedByKeys) {
        ::SetWindowSubclass(m_sldBassBoost.m_hWnd, &CHalvoPageSoundRoom::BassBoostProc, 0,
                            reinterpret_cast<DWORD_PTR>(this));
    } else if (!pending && m_bSliderMovedByKeys) {
        ::RemoveWindowSubclass(m_sldBassBoost.m_hWnd, &CHalvoPageSoundRoom::BassBoostProc, 0);
    }
    m_bSliderMovedByKeys = pending;
}

// The move ends with the focus, also when the page closes meanwhile.
void CHalvoPageSoundRoom::OnBassBoostFocusLost() {
    if (m_bSliderMovedByKeys) {
        SetKeyboardMovePending(FALSE);
        StoreBassBoostLevel();
    }
}

LRESULT CALLBACK CHalvoPageSoundRoom::BassBoostProc(HWND hWnd, UINT message, WPARAM wParam,
                                                    LPARAM lParam, UINT_PTR id, DWORD_PTR page) {
    LRESULT result = ::DefSubclassProc(hWnd, message, wParam, lParam);
    if (message == WM_KILLFOCUS) {
        reinterpret_cast<CHalvoPageSoundRoom*>(page)->OnBassBoostFocusLost();
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hWnd, &CHalvoPageSoundRoom::BassBoostProc, id);
    }
    return result;
}

void CHalvoPageSoundRoom::OnNMCustomdrawBassBoost(NMHDR*, LRESULT* pResult) {
    *pResult = CDRF_DODEFAULT;
}

// The box is hidden; only a click sent by a program reaches this.
void CHalvoPageSoundRoom::OnBnClickedBypass() {
    WriteEffectWord(m_pDevice, PKEY_AudioEndpoint_Disable_SysFx,
                    m_btnBypass.GetCheck() == BST_CHECKED ? 1 : 0);
}

void CHalvoPageSoundRoom::OnDestroy() {
    CPropertyPage::OnDestroy();
    m_bReady = FALSE;
    m_refresh.Stop();
    if (m_pNotifier) {
        RemoveEndpointCallback(m_pNotifier, g_pEndpointCallbacks);
    }
    // Out of the list, no notification is calling it any more.
    delete g_pEndpointCallbacks;
    g_pEndpointCallbacks = nullptr;
}
