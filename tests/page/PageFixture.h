#pragma once

#include "tests/app/AppFixture.h"

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "res/resource.h"

// The page's refresh message and the kinds of refresh it carries in wParam.
inline constexpr UINT kRefreshMessage = 3041;
inline constexpr WPARAM kRefreshBypass = 1;
inline constexpr WPARAM kRefreshEffects = 12;
inline constexpr WPARAM kRefreshJack = 18;

// The real sheet with the effect page, run by start-up against the simulated laptop; a test acts
// on it through its controls as a person would and reads the controls back.
class PageTest : public AppTest {
protected:
    // Runs start-up; `body` gets the sheet and the page while the sheet is up, then the sheet is
    // closed with OK.
    void RunPage(const std::function<void(HWND sheet, HWND page)>& body) {
        CPropertyPageApp app;
        ScopedModalAction act([&] {
            HWND sheet = app.m_pMainWnd->m_hWnd;
            HWND page = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
            body(sheet, page);
            ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
        });
        EXPECT_FALSE(app.InitInstance());
        EXPECT_TRUE(act.Ran()) << "the sheet was not shown";
    }

    // Lets every notification reach the page and the page read every change it was told of.
    void Settle() {
        sim->FlushNotifications();
        PumpUntil([] { return !g_pEndpointCallbacks || !g_pEndpointCallbacks->refresh->AnyPending(); });
        Pump();
    }
    static void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    // Handles messages one by one until the condition holds or the time is up.
    static bool PumpUntil(const std::function<bool()>& condition, DWORD milliseconds = 3000) {
        DWORD start = ::GetTickCount();
        while (!condition()) {
            if (::GetTickCount() - start > milliseconds) {
                return false;
            }
            MSG msg;
            if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            } else {
                ::Sleep(1);
            }
        }
        return true;
    }

    static HWND Control(HWND page, int id) { return ::GetDlgItem(page, id); }
    static bool Checked(HWND page, int id) {
        return ::SendMessageW(Control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static bool Visible(HWND page, int id) { return ::IsWindowVisible(Control(page, id)) != 0; }
    static bool Enabled(HWND page, int id) { return ::IsWindowEnabled(Control(page, id)) != 0; }
    static std::wstring Text(HWND window) {
        wchar_t text[256] = {};
        ::GetWindowTextW(window, text, 256);
        return text;
    }
    static int SliderPosition(HWND page) {
        return static_cast<int>(::SendMessageW(Control(page, IDC_BASS_BOOST), TBM_GETPOS, 0, 0));
    }
    // A click as the user makes it: the box changes and tells the page.
    static void Click(HWND page, int id) { ::SendMessageW(Control(page, id), BM_CLICK, 0, 0); }

    // The endpoint as a later start finds it: configured, with these words stored.
    void StoreWord(const PROPERTYKEY& key, DWORD word) {
        sim->SetProperty(Store::Fx, kLaptopSpeakers, key, Value::UInt32(word));
    }
    void MarkConfigured() {
        StoreWord(keys::FirstRunMarker, 0);
        StoreWord(keys::ModeWord, 0x006007E0);
        StoreWord(keys::HeadphoneSelector, 2);
        StoreWord(keys::LevelWord, 0);
    }
    DWORD StoredWord(const PROPERTYKEY& key) {
        auto value = sim->Property(Store::Fx, kLaptopSpeakers, key);
        return value ? value->UInt32() : 0xDEADBEEF;
    }
    // A headphone endpoint the probe still takes: the maker's, described as internal speakers.
    void MakeHeadphones() {
        SetFormFactor(Headphones);
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_Device_DeviceDesc,
                         Value::String(L"Internal Speaker"));
    }
    void SetFormFactor(int formFactor) {
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_AudioEndpoint_FormFactor,
                         Value::UInt32(formFactor));
    }
    void SetDeviceFormat(DWORD rate, WORD validBits) {
        WAVEFORMATEXTENSIBLE format = {};
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.nChannels = 2;
        format.Format.nSamplesPerSec = rate;
        format.Format.wBitsPerSample = validBits == 16 ? 16 : 32;
        format.Format.cbSize = 22;
        format.Samples.wValidBitsPerSample = validBits;
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_AudioEngine_DeviceFormat,
                         Value::Blob(&format, sizeof format));
    }
    // The effect words the program wrote, in order, by key.
    std::vector<sim::audio::WriteRecord> WritesOf(const PROPERTYKEY& key) {
        std::vector<sim::audio::WriteRecord> found;
        for (const auto& write : sim->Writes()) {
            if (SUCCEEDED(write.result) && IsEqualPropertyKey(write.key, key)) {
                found.push_back(write);
            }
        }
        return found;
    }
};
