#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/page/PageFixture.h"

namespace {

using sim::audio::WriteOrigin;
using Commands = PageTest;

// The index of the first write of a key in the log, or -1.
int FirstWrite(const std::vector<sim::audio::WriteRecord>& writes, const PROPERTYKEY& key) {
    for (size_t i = 0; i < writes.size(); ++i) {
        if (SUCCEEDED(writes[i].result) && IsEqualPropertyKey(writes[i].key, key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TEST_F(Commands, NaturalBassAt96kForcesTheFormatFirst) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x00003513);
    SetDeviceFormat(96000, 24);
    RunPage([&](HWND, HWND page) {
        sim->ClearWrites();
        Click(page, IDC_NATURAL_BASS);
        auto writes = sim->Writes();
        int format = FirstWrite(writes, PKEY_AudioEngine_DeviceFormat);
        int word = FirstWrite(writes, keys::NaturalBass);
        ASSERT_GE(format, 0);
        ASSERT_GE(word, 0);
        EXPECT_LT(format, word);
        EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass));
        Settle();
        EXPECT_TRUE(Enabled(page, IDC_BASS_BOOST));
    });
    WAVEFORMATEXTENSIBLE forced = {};
    auto format = sim->Property(Store::Endpoint, kLaptopSpeakers, PKEY_AudioEngine_DeviceFormat);
    ASSERT_TRUE(format);
    std::memcpy(&forced, format->Bytes().data(), std::min(format->Bytes().size(), sizeof forced));
    EXPECT_EQ(2, forced.Format.nChannels);
    EXPECT_EQ(48000u, forced.Format.nSamplesPerSec);
    EXPECT_EQ(24, forced.Samples.wValidBitsPerSample);
}

TEST_F(Commands, NaturalBassAt44kWith16BitsLeavesTheFormat) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x00003513);
    SetDeviceFormat(44100, 16);
    RunPage([&](HWND, HWND page) {
        sim->ClearWrites();
        Click(page, IDC_NATURAL_BASS);
        EXPECT_TRUE(WritesOf(PKEY_AudioEngine_DeviceFormat).empty());
        EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass));
    });
}

TEST_F(Commands, HalvoHeadphoneWithoutBitZeroIsWrittenButShowsUnchecked) {
    MakeHeadphones();
    MarkConfigured();
    StoreWord(keys::Headphone, 0x00000210);
    StoreWord(keys::NaturalBass, 0x00003513);
    SetDeviceFormat(96000, 24);
    RunPage([&](HWND, HWND page) {
        sim->ClearWrites();
        Click(page, IDC_HEADPHONE);
        EXPECT_EQ(0x80000210u, StoredWord(keys::Headphone));
        EXPECT_TRUE(WritesOf(PKEY_AudioEngine_DeviceFormat).empty());
        // Not a Speakers endpoint: the expander is left alone.
        EXPECT_TRUE(WritesOf(keys::SoundSpaceExpander).empty());
        Settle();
        EXPECT_FALSE(Checked(page, IDC_HEADPHONE));
    });
}

TEST_F(Commands, OnSpeakersEitherBoxSwitchesBothEffects) {
    // The speaker face: the expander box.
    RunPage([&](HWND, HWND page) {
        sim->ClearWrites();
        Click(page, IDC_SOUND_SPACE_EXPANDER);  // on after the first run: now off
        EXPECT_EQ(0x00000001u, StoredWord(keys::SoundSpaceExpander));
        EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone));
        Click(page, IDC_SOUND_SPACE_EXPANDER);
        EXPECT_EQ(0x80000001u, StoredWord(keys::SoundSpaceExpander));
        EXPECT_EQ(0x80000211u, StoredWord(keys::Headphone));
    });
    // The headphone face: the headphone box.
    driver.SetPolicyState(1);
    driver.SetJackStatus(0x0010);
    driver.SetRetasking(2, 1);
    RunPage([&](HWND, HWND page) {
        ASSERT_TRUE(Visible(page, IDC_HEADPHONE));
        Click(page, IDC_HEADPHONE);
        EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone));
        EXPECT_EQ(0x00000001u, StoredWord(keys::SoundSpaceExpander));
    });
}

// A command builds on the word it changes; when reading the word fails it builds on the page's
// last reading, never on nothing, which would wipe the word's other fields.
TEST_F(Commands, AWordThatCannotBeReadKeepsItsOtherFields) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x00003513);
    StoreWord(keys::Headphone, 0x80000211);
    StoreWord(keys::SoundSpaceExpander, 0x80000001);
    RunPage([&](HWND, HWND page) {
        sim->FailOnKey(sim::audio::op::FxStoreGetValue, keys::NaturalBass, E_FAIL, 1);
        Click(page, IDC_NATURAL_BASS);
        EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass));
        Settle();
        // On speakers the headphone effect follows the expander box, read first.
        sim->FailOnKey(sim::audio::op::FxStoreGetValue, keys::Headphone, E_FAIL, 1);
        Click(page, IDC_SOUND_SPACE_EXPANDER);
        EXPECT_EQ(0x00000001u, StoredWord(keys::SoundSpaceExpander));
        EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone));
    });
}

// The same when the read succeeds without a word: the value is gone, or holds no number.
TEST_F(Commands, AWordThatIsNotThereKeepsItsOtherFields) {
    const std::function<void(const PROPERTYKEY&)> takeAway[] = {
        [&](const PROPERTYKEY& key) { sim->RemoveProperty(Store::Fx, kLaptopSpeakers, key); },
        [&](const PROPERTYKEY& key) {
            sim->SetProperty(Store::Fx, kLaptopSpeakers, key, Value::String(L"0x80003513"));
        },
    };
    for (const auto& take : takeAway) {
        MarkConfigured();
        StoreWord(keys::NaturalBass, 0x00003513);
        StoreWord(keys::Headphone, 0x80000211);
        StoreWord(keys::SoundSpaceExpander, 0x80000001);
        RunPage([&](HWND, HWND page) {
            take(keys::NaturalBass);
            Click(page, IDC_NATURAL_BASS);
            EXPECT_EQ(0x80003513u, StoredWord(keys::NaturalBass));
            Settle();
            take(keys::Headphone);
            Click(page, IDC_SOUND_SPACE_EXPANDER);
            EXPECT_EQ(0x00000211u, StoredWord(keys::Headphone));
        });
    }
}

TEST_F(Commands, ReleasingTheSliderWritesTheLevelAndTheReadOutFollowsTheRefresh) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x80004A27);  // level 10 stored, odd fields around it
    RunPage([&](HWND, HWND page) {
        HWND slider = Control(page, IDC_BASS_BOOST);
        // The level read is 10; the slider shows the top of its range.
        RECT thumb, channel;
        ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        int grabX = (thumb.left + thumb.right) / 2;
        int y = (thumb.top + thumb.bottom) / 2;
        int targetX = channel.left + (channel.right - channel.left) * 3 / 6;
        sim->ClearWrites();
        ::PostMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grabX, y));
        ::PostMessageW(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(targetX, y));
        ::PostMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(targetX, y));
        ASSERT_TRUE(PumpUntil([&] { return !WritesOf(keys::NaturalBass).empty(); }));
        EXPECT_EQ(0x80004327u, StoredWord(keys::NaturalBass));
        EXPECT_EQ(L"10", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        Settle();
        EXPECT_EQ(L"3", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        EXPECT_EQ(3, SliderPosition(page));
    });
}

// Keys move the thumb without the mouse: the level is stored once the key is let go, however long
// it was held, on the word as stored just before.
TEST_F(Commands, AKeyboardMoveOfTheSliderIsStoredOnceWhenTheKeyIsLetGo) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x80004327);  // level 3, odd fields around it
    struct Press {
        UINT key;
        int repeats;  // key-downs before the key-up: held, it repeats
        DWORD stored;
    };
    const Press presses[] = {{VK_RIGHT, 1, 0x80004427},
                             {VK_LEFT, 3, 0x80004127},
                             {VK_END, 1, 0x80004627},
                             {VK_HOME, 2, 0x80004027},
                             {VK_NEXT, 1, 0x80004127}};
    RunPage([&](HWND, HWND page) {
        HWND slider = Control(page, IDC_BASS_BOOST);
        ::SetFocus(slider);
        for (const Press& press : presses) {
            Settle();
            sim->ClearWrites();
            for (int i = 0; i < press.repeats; ++i) {
                ::PostMessageW(slider, WM_KEYDOWN, press.key, i == 0 ? 1 : 0x40000001);
            }
            Pump();
            EXPECT_TRUE(WritesOf(keys::NaturalBass).empty()) << press.key << ": before the key-up";
            ::PostMessageW(slider, WM_KEYUP, press.key, 0xC0000001);
            EXPECT_TRUE(PumpUntil([&] { return !WritesOf(keys::NaturalBass).empty(); }))
                << press.key;
            Settle();
            EXPECT_EQ(1u, WritesOf(keys::NaturalBass).size()) << press.key;
            EXPECT_EQ(press.stored, StoredWord(keys::NaturalBass)) << press.key;
            EXPECT_EQ(std::to_wstring((press.stored >> 8) & 0xF),
                      Text(Control(page, IDC_BASS_BOOST_VALUE)));
        }
    });
}

// A key that moved the thumb is let go over another control, where the trackbar never hears of
// it: the move is stored when the slider loses the focus, once.
TEST_F(Commands, AKeyboardMoveWhoseKeyIsLetGoElsewhereIsStoredWithTheFocus) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x80004327);  // level 3
    RunPage([&](HWND, HWND page) {
        HWND slider = Control(page, IDC_BASS_BOOST);
        HWND box = Control(page, IDC_NATURAL_BASS);
        ::SetFocus(slider);
        Settle();
        sim->ClearWrites();
        ::PostMessageW(slider, WM_KEYDOWN, VK_RIGHT, 1);
        ::PostMessageW(slider, WM_KEYDOWN, VK_RIGHT, 0x40000001);
        Pump();
        ASSERT_EQ(5, SliderPosition(page));
        EXPECT_TRUE(WritesOf(keys::NaturalBass).empty()) << "while the key is held";
        ::SetFocus(box);
        ::PostMessageW(box, WM_KEYUP, VK_RIGHT, 0xC0000001);
        Pump();
        ASSERT_EQ(1u, WritesOf(keys::NaturalBass).size());
        EXPECT_EQ(0x80004527u, StoredWord(keys::NaturalBass));
        Settle();
        EXPECT_EQ(L"5", Text(Control(page, IDC_BASS_BOOST_VALUE)));
        // Back on the slider and away again, with no key: nothing more is stored.
        ::SetFocus(slider);
        ::SetFocus(box);
        Pump();
        EXPECT_EQ(1u, WritesOf(keys::NaturalBass).size());
    });
}

// However the mouse moves the thumb, by its drag or by a click on the channel, the level is
// stored once, when the mouse lets go.
TEST_F(Commands, AMouseMoveOfTheSliderIsStoredOnce) {
    MarkConfigured();
    StoreWord(keys::NaturalBass, 0x80003513);
    RunPage([&](HWND, HWND page) {
        HWND slider = Control(page, IDC_BASS_BOOST);
        RECT thumb, channel;
        ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        int y = (thumb.top + thumb.bottom) / 2;
        const std::pair<int, int> moves[] = {{(thumb.left + thumb.right) / 2, channel.left},
                                             {channel.right - 2, channel.right - 2}};
        for (auto [from, to] : moves) {
            Settle();
            sim->ClearWrites();
            ::PostMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, y));
            ::PostMessageW(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, y));
            ::PostMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(to, y));
            EXPECT_TRUE(PumpUntil([&] { return !WritesOf(keys::NaturalBass).empty(); }));
            Settle();
            EXPECT_EQ(1u, WritesOf(keys::NaturalBass).size()) << from << " to " << to;
            EXPECT_EQ(0x80003013u | SliderPosition(page) << 8, StoredWord(keys::NaturalBass));
        }
    });
}

TEST_F(Commands, UncheckingTheExpanderKeepsBitZero) {
    RunPage([&](HWND, HWND page) {
        ASSERT_TRUE(Checked(page, IDC_SOUND_SPACE_EXPANDER));
        Click(page, IDC_SOUND_SPACE_EXPANDER);
        auto writes = WritesOf(keys::SoundSpaceExpander);
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(Value::UInt32(0x00000001), writes.back().value);
    });
}

TEST_F(Commands, TheHiddenBypassBoxWritesWhenClickedByAProgram) {
    RunPage([&](HWND, HWND page) {
        Click(page, IDC_BYPASS);
        auto value = sim->Property(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx);
        ASSERT_TRUE(value);
        EXPECT_EQ(Value::UInt32(1), *value);
        Settle();
        EXPECT_FALSE(Enabled(page, IDC_NATURAL_BASS));
    });
}

}  // namespace
