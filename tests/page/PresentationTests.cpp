#include <gtest/gtest.h>

#include "tests/page/PageFixture.h"

namespace {

using Presentation = PageTest;

TEST_F(Presentation, SpeakersPlayingIntoFrontHeadphonesShowTheHeadphonePage) {
    driver.SetPolicyState(1);
    driver.SetJackStatus(0x0010);
    driver.SetRetasking(2, 1);
    RunPage([&](HWND sheet, HWND page) {
        EXPECT_FALSE(Visible(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_TRUE(Visible(page, IDC_HEADPHONE));
        EXPECT_EQ(L"Headphone Properties", Text(sheet));
        EXPECT_EQ(L"Halvo Setting", Text(page));
    });
}

TEST_F(Presentation, SpeakersWithoutFrontHeadphonesShowTheSpeakerPage) {
    RunPage([&](HWND sheet, HWND page) {
        EXPECT_TRUE(Visible(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_FALSE(Visible(page, IDC_HEADPHONE));
        EXPECT_FALSE(Visible(page, IDC_BYPASS));
        EXPECT_EQ(L"Internal Speaker Properties", Text(sheet));
    });
}

TEST_F(Presentation, AnUnreadableFormFactorShowsTheSpeakerPage) {
    // The probe reads the form factor first; the page's own read fails.
    sim->FailOnKey(sim::audio::op::EndpointStoreGetValue, PKEY_AudioEndpoint_FormFactor, E_FAIL, 2);
    driver.SetPolicyState(1);
    driver.SetJackStatus(0x0010);
    driver.SetRetasking(2, 2);
    RunPage([&](HWND sheet, HWND page) {
        EXPECT_TRUE(Visible(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_FALSE(Visible(page, IDC_HEADPHONE));
        EXPECT_EQ(L"Internal Speaker Properties", Text(sheet));
    });
}

TEST_F(Presentation, PluggingHeadphonesInTurnsThePage) {
    driver.SetPolicyState(1);
    driver.SetRetasking(2, 1);
    RunPage([&](HWND sheet, HWND page) {
        EXPECT_EQ(L"Internal Speaker Properties", Text(sheet));
        driver.SetJackStatus(0x0010);
        sim->Notify(kLaptopSpeakers, keys::JackChange);
        Settle();
        EXPECT_FALSE(Visible(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_TRUE(Visible(page, IDC_HEADPHONE));
        EXPECT_EQ(L"Headphone Properties", Text(sheet));

        driver.SetJackStatus(0);
        sim->Notify(kLaptopSpeakers, keys::JackChange);
        Settle();
        EXPECT_TRUE(Visible(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_FALSE(Visible(page, IDC_HEADPHONE));
        EXPECT_EQ(L"Internal Speaker Properties", Text(sheet));
    });
}

TEST_F(Presentation, AFirstRunOnHeadphonesShowsTheirDefaults) {
    MakeHeadphones();
    RunPage([&](HWND sheet, HWND page) {
        EXPECT_EQ(L"Headphone Properties", Text(sheet));
        EXPECT_TRUE(Checked(page, IDC_HEADPHONE));
        EXPECT_TRUE(Checked(page, IDC_NATURAL_BASS));
        EXPECT_FALSE(Checked(page, IDC_SOUND_SPACE_EXPANDER));
        EXPECT_TRUE(Enabled(page, IDC_BASS_BOOST));
        EXPECT_EQ(5, SliderPosition(page));
        EXPECT_EQ(L"5", Text(Control(page, IDC_BASS_BOOST_VALUE)));
    });
}

TEST_F(Presentation, AHeadphoneWordWithoutBitZeroShowsUnchecked) {
    MakeHeadphones();
    MarkConfigured();
    StoreWord(keys::Headphone, 0x80000210);
    StoreWord(keys::NaturalBass, 0x00003213);
    StoreWord(keys::SoundSpaceExpander, 0x00000001);
    RunPage([&](HWND, HWND page) {
        EXPECT_FALSE(Checked(page, IDC_HEADPHONE));
        EXPECT_FALSE(Checked(page, IDC_NATURAL_BASS));
        EXPECT_FALSE(Enabled(page, IDC_BASS_BOOST));
        EXPECT_EQ(L"2", Text(Control(page, IDC_BASS_BOOST_VALUE)));
    });
}

TEST_F(Presentation, BypassDisablesEverythingButTheReadOut) {
    sim->SetProperty(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                     Value::UInt32(1));
    RunPage([&](HWND, HWND page) {
        EXPECT_TRUE(Checked(page, IDC_BYPASS));
        for (int id : {IDC_SOUND_SPACE_EXPANDER, IDC_HEADPHONE, IDC_NATURAL_BASS, IDC_BASS_BOOST}) {
            EXPECT_FALSE(Enabled(page, id)) << id;
        }
        EXPECT_TRUE(Enabled(page, IDC_BASS_BOOST_VALUE));

        // Switched back on from outside, the controls come back.
        sim->ChangeFromOutside(Store::Fx, kLaptopSpeakers, PKEY_AudioEndpoint_Disable_SysFx,
                               Value::UInt32(0));
        Settle();
        EXPECT_FALSE(Checked(page, IDC_BYPASS));
        EXPECT_TRUE(Enabled(page, IDC_NATURAL_BASS));
        EXPECT_TRUE(Enabled(page, IDC_BASS_BOOST));
    });
}

TEST_F(Presentation, TheLogoSitsAtItsPlace) {
    RunPage([&](HWND, HWND page) {
        HWND logo = Control(page, IDC_LOGO);
        RECT rect;
        ::GetWindowRect(logo, &rect);
        ::MapWindowPoints(nullptr, page, reinterpret_cast<LPPOINT>(&rect), 2);
        EXPECT_EQ(300, rect.left);
        EXPECT_EQ(20, rect.top);
        // Moved, not resized: the picture keeps the 85 x 120 logo's size.
        EXPECT_EQ(85, rect.right - rect.left);
        EXPECT_EQ(120, rect.bottom - rect.top);
        BITMAP image = {};
        auto bitmap =
            reinterpret_cast<HBITMAP>(::SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(0, ::GetObjectW(bitmap, sizeof image, &image));
        EXPECT_EQ(85, image.bmWidth);
        EXPECT_EQ(120, image.bmHeight);
        EXPECT_EQ(0, ::SendMessageW(Control(page, IDC_BASS_BOOST), TBM_GETRANGEMIN, 0, 0));
        EXPECT_EQ(6, ::SendMessageW(Control(page, IDC_BASS_BOOST), TBM_GETRANGEMAX, 0, 0));
    });
}

}  // namespace
