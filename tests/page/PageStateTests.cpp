// The page's faces, the state its controls show, and what each refresh kind reads.
#include <gtest/gtest.h>

#include "tests/support/InitializeSpy.h"
#include "tests/page/PageFixture.h"

namespace {

namespace op = sim::audio::op;

constexpr UINT kRefreshMessage = 3041;
constexpr DWORD kPolicyControl = 0x001D6004;

class PageState : public PageTest {
protected:
    // The driver's answer: headphones plugged into a front-panel jack, or not.
    void FrontHeadphones(bool plugged) {
        driver.SetPolicyState(1);
        driver.SetRetasking(2, 1);
        driver.SetJackStatus(plugged ? 0x0010 : 0);
    }
    void ExpectFace(HWND sheet, HWND page, bool headphoneFace, const char* name) {
        EXPECT_EQ(!headphoneFace, Visible(page, IDC_SOUND_SPACE_EXPANDER)) << name;
        EXPECT_EQ(headphoneFace, Visible(page, IDC_HEADPHONE)) << name;
        EXPECT_EQ(headphoneFace ? L"Headphone Properties" : L"Internal Speaker Properties",
                  Text(sheet))
            << name;
    }
    int FxReads() { return sim->Calls(op::FxStoreGetValue); }
};

// The probe only takes the maker's speakers; the form factor the page reads is set once the probe
// is done, when start-up joins the apartment (its thread's second multithreaded initialisation).
TEST_F(PageState, TheFaceFollowsTheFormFactorAndOnlySpeakersFollowTheJack) {
    struct Case {
        const char* name;
        int formFactor;
        bool frontHeadphones;
        bool policyFails;
        bool headphoneFace;
    };
    const Case cases[] = {
        {"speakers", 1, false, false, false},
        {"speakers, headphones in front", 1, true, false, true},
        {"headphones", 3, true, false, true},
        {"headset", 5, true, false, true},
        {"line level", 2, false, false, false},
        // Last: the driver's policy control fails from here on.
        {"speakers, policy unreadable", 1, true, true, false},
    };
    for (const Case& c : cases) {
        FrontHeadphones(c.frontHeadphones);
        if (c.policyFails) {
            driver.FailControl(kPolicyControl);
        }
        InitializeSpy spy;
        spy.afterMultithreaded = [&](int count) {
            if (count == 2) {
                SetFormFactor(c.formFactor);
            }
        };
        RunPage([&](HWND sheet, HWND page) {
            ExpectFace(sheet, page, c.headphoneFace, c.name);
            // The jack changes: a Speakers page asks the driver again, any other stays as it is.
            FrontHeadphones(!c.frontHeadphones);
            sim->Notify(kLaptopSpeakers, keys::JackChange);
            Settle();
            bool turned = c.formFactor == 1 && !c.policyFails;
            ExpectFace(sheet, page, turned ? !c.headphoneFace : c.headphoneFace, c.name);
        });
        SetFormFactor(Speakers);
    }
}

// At start the box follows a readable VT_UI4 value, checked when non-zero; anything else leaves
// it as the template made it, unchecked.
TEST_F(PageState, TheBypassBoxAtStartTakesOnlyAFourByteUnsignedValue) {
    struct Case {
        const char* name;
        Value value;  // empty: no value stored
        bool failRead;
        bool checked;
    };
    const Case cases[] = {
        {"no value", Value(), false, false},
        {"zero", Value::UInt32(0), false, false},
        {"two", Value::UInt32(2), false, true},
        {"signed one", Value::Int32(1), false, false},
        {"boolean true", Value::Scalar(VT_BOOL, 0xFFFF), false, false},
        {"unreadable one", Value::UInt32(1), true, false},
    };
    for (const Case& c : cases) {
        sim->RemoveProperty(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx);
        if (!c.value.IsEmpty()) {
            sim->SetProperty(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx, c.value);
        }
        if (c.failRead) {
            sim->FailOnKey(op::FxStoreGetValue, PKEY_AudioEndpoint_Disable_SysFx, E_FAIL);
        }
        RunPage([&](HWND, HWND page) {
            EXPECT_EQ(c.checked, Checked(page, IDC_BYPASS)) << c.name;
            EXPECT_EQ(!c.checked, Enabled(page, IDC_NATURAL_BASS)) << c.name;
        });
        sim->ClearFailures();
    }
}

TEST_F(PageState, ABypassRefreshChangesTheBoxOnlyForAReadableFourByteUnsignedValue) {
    struct Step {
        Value value;
        bool failRead;
        bool checked;
    };
    const Step steps[] = {
        {Value::Int32(0), false, true},   {Value::UInt32(0), true, true},
        {Value::UInt32(0), false, false}, {Value::Int32(1), false, false},
        {Value::UInt32(1), true, false},  {Value::UInt32(3), false, true},
    };
    sim->SetProperty(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                     Value::UInt32(7));
    RunPage([&](HWND, HWND page) {
        ASSERT_TRUE(Checked(page, IDC_BYPASS));
        int index = 0;
        for (const Step& step : steps) {
            if (step.failRead) {
                sim->FailOnKey(op::FxStoreGetValue, PKEY_AudioEndpoint_Disable_SysFx, E_FAIL, 1);
            }
            sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                                   step.value);
            Settle();
            EXPECT_EQ(step.checked, Checked(page, IDC_BYPASS)) << "step " << index;
            EXPECT_EQ(!step.checked, Enabled(page, IDC_NATURAL_BASS)) << "step " << index;
            ++index;
        }
    });
}

// What the boxes, the slider and the read-out show for the stored words of a later start.
TEST_F(PageState, TheControlsShowTheLoadedWords) {
    struct Case {
        DWORD headphone, expander, naturalBass;
        bool headphoneChecked, expanderChecked, naturalBassChecked;
        int level;
        const wchar_t* readOut;
    };
    const Case cases[] = {
        // Enabled without bit 0 still checks the expander; bit 0 without enabled not the
        // headphone box.
        {0x00000211, 0x80000000, 0x80000613, false, true, true, 6, L"6"},
        {0x80000211, 0x00000001, 0x00000013, true, false, false, 0, L"0"},
        {0x80000001, 0x80000001, 0x80000213, true, true, true, 2, L"2"},
    };
    for (const Case& c : cases) {
        MarkConfigured();
        StoreWord(keys::Headphone, c.headphone);
        StoreWord(keys::SoundSpaceExpander, c.expander);
        StoreWord(keys::NaturalBass, c.naturalBass);
        RunPage([&](HWND, HWND page) {
            EXPECT_EQ(c.headphoneChecked, Checked(page, IDC_HEADPHONE)) << c.headphone;
            EXPECT_EQ(c.expanderChecked, Checked(page, IDC_SOUND_SPACE_EXPANDER)) << c.expander;
            EXPECT_EQ(c.naturalBassChecked, Checked(page, IDC_NATURAL_BASS)) << c.naturalBass;
            EXPECT_EQ(c.level, SliderPosition(page)) << c.naturalBass;
            EXPECT_EQ(c.readOut, Text(Control(page, IDC_BASS_BOOST_VALUE))) << c.naturalBass;
            for (int id : {IDC_SOUND_SPACE_EXPANDER, IDC_HEADPHONE, IDC_NATURAL_BASS}) {
                EXPECT_TRUE(Enabled(page, id)) << id;
            }
            EXPECT_EQ(c.naturalBassChecked, Enabled(page, IDC_BASS_BOOST)) << c.naturalBass;
        });
    }
}

// Every font sent to a window of this thread, with its redraw flag.
struct SentFont {
    HWND window;
    LOGFONTW font;
    LPARAM redraw;
};
thread_local std::vector<SentFont> t_sentFonts;
LRESULT CALLBACK NoteSentFont(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_SETFONT) {
        SentFont sent = {message->hwnd, {}, message->lParam};
        ::GetObjectW(reinterpret_cast<HFONT>(message->wParam), sizeof sent.font, &sent.font);
        t_sentFonts.push_back(sent);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(PageState, ThePageIsGivenTheIconTitleFont) {
    LOGFONTW expected = {};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof expected, &expected, 0));
    HWND pageWindow = nullptr;
    HHOOK hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, &NoteSentFont, nullptr, ::GetCurrentThreadId());
    RunPage([&](HWND, HWND page) { pageWindow = page; });
    ::UnhookWindowsHookEx(hook);
    std::vector<SentFont> sent;
    for (const SentFont& font : t_sentFonts) {
        if (font.window == pageWindow) {
            sent.push_back(font);
        }
    }
    t_sentFonts.clear();
    ASSERT_FALSE(sent.empty());
    EXPECT_STREQ(expected.lfFaceName, sent.back().font.lfFaceName);
    EXPECT_EQ(expected.lfHeight, sent.back().font.lfHeight);
    EXPECT_EQ(expected.lfWeight, sent.back().font.lfWeight);
    EXPECT_EQ(TRUE, sent.back().redraw);
}

// Each refresh kind reads only its own part; the store is changed here without a notification.
TEST_F(PageState, EachRefreshKindReadsItsOwnPart) {
    MarkConfigured();
    StoreWord(keys::Headphone, 0x00000211);
    StoreWord(keys::SoundSpaceExpander, 0x00000001);
    StoreWord(keys::NaturalBass, 0x00000513);
    RunPage([&](HWND sheet, HWND page) {
        Settle();
        StoreWord(keys::Headphone, 0x80000211);
        StoreWord(keys::SoundSpaceExpander, 0x80000001);
        StoreWord(keys::NaturalBass, 0x80000213);
        sim->SetProperty(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                         Value::UInt32(1));
        FrontHeadphones(true);

        int reads = FxReads();
        int policyQueries = driver.Count("DeviceIoControl 0x001D6004");
        for (WPARAM kind : {0, 2, 11, 13, 17, 19}) {
            ::SendMessageW(page, kRefreshMessage, kind, 0);
        }
        EXPECT_EQ(reads, FxReads());
        EXPECT_EQ(policyQueries, driver.Count("DeviceIoControl 0x001D6004"));

        ::SendMessageW(page, kRefreshMessage, 1, 0);
        EXPECT_TRUE(Checked(page, IDC_BYPASS));
        EXPECT_FALSE(Enabled(page, IDC_NATURAL_BASS));
        EXPECT_FALSE(Checked(page, IDC_NATURAL_BASS));
        ExpectFace(sheet, page, false, "after the bypass refresh");

        ::SendMessageW(page, kRefreshMessage, 12, 0);
        EXPECT_TRUE(Checked(page, IDC_HEADPHONE));
        EXPECT_TRUE(Checked(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_TRUE(Checked(page, IDC_NATURAL_BASS));
        EXPECT_EQ(L"2", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        ExpectFace(sheet, page, false, "after the effects refresh");

        ::SendMessageW(page, kRefreshMessage, 18, 0);
        ExpectFace(sheet, page, true, "after the jack refresh");
    });
}

// A refresh whose read of one word fails keeps what the page had for that word.
TEST_F(PageState, AnEffectsRefreshKeepsAWordItCannotRead) {
    MarkConfigured();
    StoreWord(keys::Headphone, 0x80000211);
    StoreWord(keys::SoundSpaceExpander, 0x80000001);
    StoreWord(keys::NaturalBass, 0x80000513);
    RunPage([&](HWND, HWND page) {
        const std::pair<PROPERTYKEY, int> words[] = {
            {keys::Headphone, IDC_HEADPHONE},
            {keys::SoundSpaceExpander, IDC_SOUND_SPACE_EXPANDER},
            {keys::NaturalBass, IDC_NATURAL_BASS}};
        for (const auto& [key, box] : words) {
            sim->FailOnKey(op::FxStoreGetValue, key, E_FAIL, 1);
            sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, key, Value::UInt32(0));
            Settle();
            EXPECT_TRUE(Checked(page, box)) << box;
            sim->ClearFailures();
        }
        EXPECT_EQ(L"5", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        // Read again, the words show.
        ::SendMessageW(page, kRefreshMessage, 12, 0);
        for (const auto& word : words) {
            EXPECT_FALSE(Checked(page, word.second)) << word.second;
        }
        EXPECT_EQ(L"0", Text(Control(page, IDC_BASS_BOOST_VALUE)));
    });
}

// The headphone word's bits 8-11 and 4-7 carry codes only for some values; a refresh keeps the
// codes the page had for fields without one, so the next command writes them back.
TEST_F(PageState, AnEffectsRefreshKeepsTheCodesOfFieldsWithoutOne) {
    MarkConfigured();
    StoreWord(keys::Headphone, 0x80000321);  // options 6, 8 and 10
    StoreWord(keys::SoundSpaceExpander, 0x80000001);
    RunPage([&](HWND, HWND page) {
        sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, keys::Headphone,
                               Value::UInt32(0x800000F1));
        Settle();
        ASSERT_TRUE(Checked(page, IDC_HEADPHONE));
        // On speakers the expander box switches the headphone effect too.
        Click(page, IDC_SOUND_SPACE_EXPANDER);
        EXPECT_EQ(0x00000321u, StoredWord(keys::Headphone));
    });
}

}  // namespace
