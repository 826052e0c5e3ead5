// The commands' rules one by one: the format check, what each command reads before it writes,
// the words it builds, the coupling of the two switches, and the sheet around them.
#include <gtest/gtest.h>

#include <functional>

#include "fxstore/EffectState.h"
#include "tests/page/PageFixture.h"

namespace {

namespace op = sim::audio::op;

constexpr int kApply = 0x3021;

class CommandRules : public PageTest {
protected:
    // A later start with every effect off.
    void AllOff() {
        MarkConfigured();
        StoreWord(keys::Headphone, 0x00000211);
        StoreWord(keys::SoundSpaceExpander, 0x00000001);
        StoreWord(keys::NaturalBass, 0x00003513);
        SetDeviceFormat(48000, 24);
    }
    size_t FormatWrites() { return WritesOf(PKEY_AudioEngine_DeviceFormat).size(); }
    // The keys of the successful writes since the log was cleared, in order.
    std::vector<PROPERTYKEY> WrittenKeys() {
        std::vector<PROPERTYKEY> keys;
        for (const auto& write : sim->Writes()) {
            if (SUCCEEDED(write.result)) {
                keys.push_back(write.key);
            }
        }
        return keys;
    }
    // The user lets go of the slider's thumb at this level.
    static void ReleaseSliderAt(HWND page, int level) {
        HWND slider = Control(page, IDC_BASS_BOOST);
        ::SendMessageW(slider, TBM_SETPOS, TRUE, level);
        NMHDR released = {slider, IDC_BASS_BOOST, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        ::SendMessageW(page, WM_NOTIFY, IDC_BASS_BOOST, reinterpret_cast<LPARAM>(&released));
    }
};

// Switching an effect on forces stereo 48000 Hz, 24 bits, before its word, unless the format is
// 44100 or 48000 Hz at 16 or 24 valid bits; switching off never touches the format.
TEST_F(CommandRules, SwitchingOnChecksTheFormatFirst) {
    struct Format {
        DWORD rate;
        WORD validBits;
        bool forced;
    };
    const Format formats[] = {
        {96000, 24, true},  {48000, 20, true},  {44100, 32, true},  {22050, 16, true},
        {44100, 16, false}, {44100, 24, false}, {48000, 16, false}, {48000, 24, false},
    };
    const std::pair<int, PROPERTYKEY> boxes[] = {
        {IDC_SOUND_SPACE_EXPANDER, keys::SoundSpaceExpander},
        {IDC_HEADPHONE, keys::Headphone},
        {IDC_NATURAL_BASS, keys::NaturalBass}};
    AllOff();
    RunPage([&](HWND, HWND page) {
        for (const Format& format : formats) {
            for (const auto& [box, key] : boxes) {
                SetDeviceFormat(format.rate, format.validBits);
                sim->ClearWrites();
                Click(page, box);  // on
                std::vector<PROPERTYKEY> written = WrittenKeys();
                ASSERT_FALSE(written.empty());
                EXPECT_EQ(format.forced ? 1u : 0u, FormatWrites())
                    << box << " at " << format.rate << "/" << format.validBits;
                EXPECT_EQ(format.forced,
                          IsEqualPropertyKey(written[0], PKEY_AudioEngine_DeviceFormat))
                    << box;
                EXPECT_EQ(1u, WritesOf(key).size()) << box;

                SetDeviceFormat(96000, 24);
                sim->ClearWrites();
                Click(page, box);  // off
                EXPECT_EQ(0u, FormatWrites()) << box << " off";
            }
        }
    });
}

TEST_F(CommandRules, AFormatThatCannotBeReadOrForcedStopsNoWrite) {
    AllOff();
    SetDeviceFormat(96000, 24);
    RunPage([&](HWND, HWND page) {
        // Only the check's own read fails: forcing would have read it again and succeeded.
        sim->FailOnKey(op::EndpointStoreGetValue, PKEY_AudioEngine_DeviceFormat, E_FAIL, 1);
        Click(page, IDC_NATURAL_BASS);
        EXPECT_EQ(0u, FormatWrites());
        EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass));
        Click(page, IDC_NATURAL_BASS);

        sim->FailOn(op::WriteEndpointFormat, E_FAIL);
        int attempts = sim->Calls(op::WriteEndpointFormat);
        sim->ClearWrites();
        Click(page, IDC_NATURAL_BASS);
        EXPECT_EQ(attempts + 1, sim->Calls(op::WriteEndpointFormat));
        EXPECT_EQ(1u, WritesOf(keys::NaturalBass).size());
    });
}

// The headphone command checks the format only for a headphone word that will read as on: enabled
// and bit 0 set.
TEST_F(CommandRules, TheHeadphoneCommandChecksTheFormatOnlyForBitZero) {
    MakeHeadphones();
    MarkConfigured();
    StoreWord(keys::Headphone, 0x00000211);
    SetDeviceFormat(96000, 24);
    RunPage([&](HWND, HWND page) {
        ASSERT_FALSE(Checked(page, IDC_HEADPHONE));
        Click(page, IDC_HEADPHONE);
        EXPECT_EQ(1u, FormatWrites());
        EXPECT_EQ(0x80000211u, StoredWord(keys::Headphone));

        // Off with bit 0 set, and on without it: no check.
        SetDeviceFormat(96000, 24);
        sim->ClearWrites();
        Click(page, IDC_HEADPHONE);
        EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone));
        StoreWord(keys::Headphone, 0x00000210);
        Click(page, IDC_HEADPHONE);
        EXPECT_EQ(0x80000210u, StoredWord(keys::Headphone));
        EXPECT_EQ(0u, FormatWrites());
    });
}

// Each command builds on the word as it is stored just before; here the store changes without a
// notification, so the page's last reading is out of date.
TEST_F(CommandRules, CommandsBuildOnTheWordReadJustBefore) {
    AllOff();
    RunPage([&](HWND, HWND page) {
        // Natural Bass: bits 0-7, 8-11 and 12-15 from the store, bits 16-30 dropped.
        StoreWord(keys::NaturalBass, 0x12344A27);
        Click(page, IDC_NATURAL_BASS);
        EXPECT_EQ(0x80004A27u, StoredWord(keys::NaturalBass));
        // The slider: only the level is the slider's, with no format check.
        SetDeviceFormat(96000, 24);
        sim->ClearWrites();
        StoreWord(keys::NaturalBass, 0x00001C42);
        ReleaseSliderAt(page, 2);
        EXPECT_EQ(0x00001242u, StoredWord(keys::NaturalBass));
        EXPECT_EQ(0u, FormatWrites());

        // The headphone word's option fields, through either switch.
        StoreWord(keys::Headphone, 0x80000331);
        Click(page, IDC_SOUND_SPACE_EXPANDER);  // on
        EXPECT_EQ(0x80000331u, StoredWord(keys::Headphone));
        StoreWord(keys::Headphone, 0x00000320);
        Click(page, IDC_HEADPHONE);  // on
        EXPECT_EQ(0x80000320u, StoredWord(keys::Headphone));
    });
}

// A command leaves the page's reading as it wrote it, before the refresh comes back. The
// expander's word is rebuilt, never merged: bit 0 is set though the store lacks it.
TEST_F(CommandRules, ACommandUpdatesThePagesReading) {
    AllOff();
    StoreWord(keys::SoundSpaceExpander, 0x00000000);
    RunPage([&](HWND, HWND page) {
        Click(page, IDC_SOUND_SPACE_EXPANDER);  // on
        EXPECT_EQ(0x80000001u, StoredWord(keys::SoundSpaceExpander));
        EXPECT_EQ(1, g_soundSpaceExpander.enabled);
        EXPECT_EQ(13, g_soundSpaceExpander.bit0Option);
        EXPECT_EQ(1, g_headphone.enabled);
        Click(page, IDC_HEADPHONE);  // on
        Click(page, IDC_HEADPHONE);  // off
        EXPECT_EQ(0, g_headphone.enabled);
        EXPECT_EQ(0, g_soundSpaceExpander.enabled);
        Click(page, IDC_NATURAL_BASS);  // on
        ReleaseSliderAt(page, 2);
        EXPECT_EQ(1, g_naturalBass.enabled);
        EXPECT_EQ(2, g_naturalBass.boostLevel);
    });
}

// On Speakers each switch writes its own word, then the other's; elsewhere only its own.
TEST_F(CommandRules, OnlySpeakersCoupleTheTwoSwitches) {
    AllOff();
    RunPage([&](HWND, HWND page) {
        for (auto [box, first, second] :
             {std::tuple{IDC_SOUND_SPACE_EXPANDER, keys::SoundSpaceExpander, keys::Headphone},
              std::tuple{IDC_HEADPHONE, keys::Headphone, keys::SoundSpaceExpander}}) {
            sim->ClearWrites();
            Click(page, box);
            std::vector<PROPERTYKEY> written = WrittenKeys();
            ASSERT_EQ(2u, written.size()) << box;
            EXPECT_TRUE(IsEqualPropertyKey(first, written[0])) << box;
            EXPECT_TRUE(IsEqualPropertyKey(second, written[1])) << box;
        }
    });
    // Headphones: the expander box, hidden, clicked by a program.
    MakeHeadphones();
    RunPage([&](HWND, HWND page) {
        sim->ClearWrites();
        Click(page, IDC_SOUND_SPACE_EXPANDER);
        EXPECT_EQ(1u, WritesOf(keys::SoundSpaceExpander).size());
        EXPECT_TRUE(WritesOf(keys::Headphone).empty());
    });
}

TEST_F(CommandRules, TheBypassBoxWritesOneOrZeroAndTheSliderDrawsTheDefaultWay) {
    RunPage([&](HWND, HWND page) {
        Click(page, IDC_BYPASS);
        Click(page, IDC_BYPASS);
        auto writes = WritesOf(PKEY_AudioEndpoint_Disable_SysFx);
        ASSERT_EQ(2u, writes.size());
        EXPECT_EQ(Value::UInt32(1), writes[0].value);
        EXPECT_EQ(Value::UInt32(0), writes[1].value);

        NMCUSTOMDRAW draw = {};
        draw.hdr = {Control(page, IDC_BASS_BOOST), IDC_BASS_BOOST,
                    static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.dwDrawStage = CDDS_PREPAINT;
        EXPECT_EQ(0,
                  ::SendMessageW(page, WM_NOTIFY, IDC_BASS_BOOST, reinterpret_cast<LPARAM>(&draw)));
    });
}

// Without the page's own device nothing can be written; the page still shows the stored words,
// and switching on still forces the format, which goes by the endpoint id.
TEST_F(CommandRules, WithoutTheDeviceOnlyTheFormatIsWritten) {
    MakeHeadphones();
    MarkConfigured();
    StoreWord(keys::Headphone, 0x80000211);
    StoreWord(keys::NaturalBass, 0x00000413);
    SetDeviceFormat(96000, 24);
    // The store's own look-up, the form factor's, then the page's.
    sim->FailOn(op::GetDevice, E_NOTFOUND, 3);
    RunPage([&](HWND sheet, HWND page) {
        ASSERT_EQ(L"Headphone Properties", Text(sheet));
        EXPECT_TRUE(Checked(page, IDC_HEADPHONE));
        EXPECT_EQ(L"4", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        sim->ClearWrites();
        for (int id : {IDC_NATURAL_BASS, IDC_HEADPHONE, IDC_SOUND_SPACE_EXPANDER, IDC_BYPASS}) {
            Click(page, id);
        }
        ReleaseSliderAt(page, 1);
        std::vector<PROPERTYKEY> written = WrittenKeys();
        ASSERT_EQ(1u, written.size());
        EXPECT_TRUE(IsEqualPropertyKey(PKEY_AudioEngine_DeviceFormat, written[0]));
    });
    // Nor when the device has no id to give.
    sim->ClearFailures();
    RunPage([&](HWND, HWND page) {
        sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);
        sim->SucceedWithNull(op::GetId, 2);
        sim->ClearWrites();
        Click(page, IDC_NATURAL_BASS);
        Click(page, IDC_BYPASS);
        EXPECT_TRUE(WrittenKeys().empty());
    });
}

// A first run whose defaults are not written (no device of its own, or every write refused) still
// shows them, and a click builds on them: Natural Bass, shown on, goes off without a format check.
TEST_F(CommandRules, AFirstRunWhoseDefaultsAreNotWrittenShowsThemAll) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        // The store's own look-up, the form factor's, then the page's.
        {"no device", [&] { sim->FailOn(op::GetDevice, E_NOTFOUND, 3); }},
        {"writes refused", [&] { sim->FailOn(op::WriteEndpointProperty, E_ACCESSDENIED); }},
    };
    for (const auto& way : ways) {
        const char* name = way.first;  // named, not bound: the sheet's body below uses it
        sim->RemoveProperty(Store::Fx, kLaptopSpeakers, keys::FirstRunMarker);
        SetDeviceFormat(96000, 24);
        way.second();
        RunPage([&](HWND, HWND page) {
            EXPECT_TRUE(Checked(page, IDC_NATURAL_BASS)) << name;
            EXPECT_TRUE(Checked(page, IDC_SOUND_SPACE_EXPANDER)) << name;
            EXPECT_EQ(L"5", Text(Control(page, IDC_BASS_BOOST_VALUE))) << name;
            EXPECT_EQ(5, SliderPosition(page)) << name;
            EXPECT_TRUE(Enabled(page, IDC_BASS_BOOST)) << name;
            sim->ClearWrites();
            Click(page, IDC_NATURAL_BASS);
            EXPECT_EQ(0u, FormatWrites()) << name;
        });
        EXPECT_FALSE(sim->Property(Store::Fx, kLaptopSpeakers, keys::NaturalBass)) << name;
        sim->ClearFailures();
    }
}

// Another program takes a word away, or stores no integer there; the refresh shows it as read.
// A command then builds on the word's first-run default, never on nothing, and never on a blob's
// or a string's bytes.
TEST_F(CommandRules, AfterAnotherProgramTakesAWordAwayACommandBuildsOnItsDefault) {
    const std::pair<const char*, std::function<void(const PROPERTYKEY&)>> takeAway[] = {
        {"removed",
         [&](const PROPERTYKEY& key) {
             sim->RemoveProperty(Store::Fx, kLaptopSpeakers, key);
             sim->Notify(kLaptopSpeakers, key);
         }},
        {"a string",
         [&](const PROPERTYKEY& key) {
             sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, key, Value::String(L"on"));
         }},
        {"a five-byte blob",
         [&](const PROPERTYKEY& key) {
             sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, key,
                                    Value::BlobObject({0x13, 0x35, 0, 0x80, 0}));
         }},
    };
    AllOff();
    StoreWord(keys::NaturalBass, 0x80002A27);
    StoreWord(keys::Headphone, 0x80000331);
    RunPage([&](HWND, HWND page) {
        for (const auto& [name, take] : takeAway) {
            take(keys::NaturalBass);
            Settle();
            EXPECT_FALSE(Checked(page, IDC_NATURAL_BASS)) << name;
            Click(page, IDC_NATURAL_BASS);  // on
            EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass)) << name;

            // On speakers the expander box switches the headphone word, read first.
            if (!Checked(page, IDC_SOUND_SPACE_EXPANDER)) {
                Click(page, IDC_SOUND_SPACE_EXPANDER);
            }
            take(keys::Headphone);
            Settle();
            Click(page, IDC_SOUND_SPACE_EXPANDER);  // off
            EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone)) << name;
            Settle();
        }
    });
}

// The store's own success code with an integer is a word to build on.
TEST_F(CommandRules, AWordReadWithTheStoresOwnSuccessCodeIsAWord) {
    AllOff();
    RunPage([&](HWND, HWND page) {
        StoreWord(keys::NaturalBass, 0x00004A27);
        sim->FailOnKey(op::FxStoreGetValue, keys::NaturalBass, S_FALSE, 1);
        Click(page, IDC_NATURAL_BASS);
        EXPECT_EQ(0x80004A27u, StoredWord(keys::NaturalBass));
    });
}

// Every change is written when it is made: the sheet has nothing to apply, and Cancel takes
// nothing back.
TEST_F(CommandRules, TheSheetNeitherAppliesNorCancelsACommand) {
    RunPage([&](HWND sheet, HWND page) {
        for (int id : {IDC_NATURAL_BASS, IDC_SOUND_SPACE_EXPANDER, IDC_HEADPHONE, IDC_BYPASS}) {
            Click(page, id);
        }
        ReleaseSliderAt(page, 2);
        Settle();
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sheet, kApply)));
        Click(page, IDC_BYPASS);
        Settle();
        sim->ClearWrites();
        ::PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ(0x00003213u, StoredWord(keys::NaturalBass));
    EXPECT_EQ(0x00000001u, StoredWord(keys::SoundSpaceExpander));
}

}  // namespace
