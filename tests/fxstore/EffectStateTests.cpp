#include <gtest/gtest.h>

#include <functional>

#include "framework/CComPtr.h"
#include "fxstore/EffectState.h"
#include "fxstore/FxPropertyStore.h"
#include "tests/fxstore/FxStoreFixture.h"

namespace {

namespace op = sim::audio::op;

std::vector<int> Fields(const ModeWordSettings& s) {
    return {s.enabled, s.modeOption, s.bits8to11, s.bits4to6, s.bit3, s.bit0};
}
std::vector<int> Fields(const HeadphoneSettings& s) {
    return {s.enabled, s.bit0Option, s.bits8to11Option, s.bits4to7Option};
}
std::vector<int> Fields(const SoundSpaceExpanderSettings& s) {
    return {s.enabled, s.bit0Option};
}
std::vector<int> Fields(const LevelWordSettings& s) {
    return {s.enabled, s.bits0to3};
}
std::vector<int> Fields(const NaturalBassSettings& s) {
    return {s.enabled, s.bits0to7, s.boostLevel, s.bits12to15};
}

struct ExpectedWrite {
    const PROPERTYKEY* key;
    DWORD word;
};

class EffectState : public FxStoreTest {
protected:
    void SetUp() override {
        FxStoreTest::SetUp();
        GetSpeakersDevice();
        ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kSpeakersId, &fxStore)));
        // Whatever an earlier test left in the process-wide records.
        g_modeWord = {9, 9, 9, 9, 9, 9};
        g_headphone = {9, 9, 9, 9};
        g_soundSpaceExpander = {9, 9};
        g_levelWord = {9, 9};
        g_naturalBass = {9, 9, 9, 9};
    }
    void TearDown() override {
        fxStore.Release();
        FxStoreTest::TearDown();
    }

    void Load(int formFactor, IMMDevice* withDevice) {
        LoadEffectState(fxStore.Get(), withDevice, formFactor);
    }
    void Load(int formFactor) { Load(formFactor, device.Get()); }

    void MarkConfigured() { SetFxWord(keys::FirstRunMarker, 0); }

    // The marker through the FX handle, then the six words through the configuration object.
    void ExpectFirstRunWrites(DWORD headphone, DWORD soundSpaceExpander, DWORD naturalBass) {
        const ExpectedWrite expected[] = {
            {&keys::FirstRunMarker, 0},
            {&keys::ModeWord, 0x006007E0},
            {&keys::Headphone, headphone},
            {&keys::HeadphoneSelector, 2},
            {&keys::SoundSpaceExpander, soundSpaceExpander},
            {&keys::LevelWord, 0},
            {&keys::NaturalBass, naturalBass},
        };
        auto writes = AcceptedWrites();
        ASSERT_EQ(std::size(expected), writes.size());
        EXPECT_EQ(WriteOrigin::FxStoreHandle, writes[0].origin);
        for (size_t i = 0; i < writes.size(); ++i) {
            EXPECT_TRUE(IsEqualPropertyKey(*expected[i].key, writes[i].key)) << "write " << i;
            EXPECT_EQ(Value::UInt32(expected[i].word), writes[i].value) << "write " << i;
            EXPECT_EQ(Store::Fx, writes[i].store) << "write " << i;
            if (i > 0) {
                EXPECT_EQ(WriteOrigin::Config7, writes[i].origin) << "write " << i;
            }
        }
    }

    CComPtr<IPropertyStore> fxStore;
};

TEST_F(EffectState, FirstRunOnSpeakersWritesMarkerThenDefaultsInOrder) {
    Load(1);
    ExpectFirstRunWrites(0x80000211, 0x80000001, 0x80003513);
    EXPECT_EQ((std::vector<int>{0, 0, 7, 14, 0, 0}), Fields(g_modeWord));
    EXPECT_EQ((std::vector<int>{1, 6, 7, 9}), Fields(g_headphone));
    EXPECT_EQ((std::vector<int>{1, 13}), Fields(g_soundSpaceExpander));
    EXPECT_EQ((std::vector<int>{0, 0}), Fields(g_levelWord));
    EXPECT_EQ((std::vector<int>{1, 19, 5, 3}), Fields(g_naturalBass));
}

TEST_F(EffectState, FirstRunOnHeadphonesAndHeadsetLeavesTheExpanderOff) {
    for (int formFactor : {3, 5}) {
        sim->RemoveProperty(Store::Fx, kSpeakersId, keys::FirstRunMarker);
        sim->ClearWrites();
        Load(formFactor);
        ExpectFirstRunWrites(0x80000211, 0x00000001, 0x80003513);
        EXPECT_EQ(1, g_headphone.enabled) << formFactor;
        EXPECT_EQ(0, g_soundSpaceExpander.enabled) << formFactor;
        EXPECT_EQ(1, g_naturalBass.enabled) << formFactor;
    }
}

TEST_F(EffectState, FirstRunOnOtherEndpointsSwitchesEverythingOff) {
    for (int formFactor : {2, 8, 9, 10}) {
        sim->RemoveProperty(Store::Fx, kSpeakersId, keys::FirstRunMarker);
        sim->ClearWrites();
        Load(formFactor);
        ExpectFirstRunWrites(0x00000211, 0x00000001, 0x00003513);
        EXPECT_EQ(0, g_headphone.enabled) << formFactor;
        EXPECT_EQ(0, g_soundSpaceExpander.enabled) << formFactor;
        EXPECT_EQ(0, g_naturalBass.enabled) << formFactor;
    }
}

TEST_F(EffectState, FirstRunWithoutADeviceWritesOnlyTheMarker) {
    Load(1, nullptr);
    auto writes = AcceptedWrites();
    ASSERT_EQ(1u, writes.size());
    EXPECT_TRUE(IsEqualPropertyKey(keys::FirstRunMarker, writes[0].key));
    EXPECT_EQ((std::vector<int>{1, 6, 7, 9}), Fields(g_headphone));
    EXPECT_EQ((std::vector<int>{1, 19, 5, 3}), Fields(g_naturalBass));
}

TEST_F(EffectState, AFailedFirstRunWriteDoesNotStopTheOthers) {
    sim->FailOnKey(op::WriteEndpointProperty, keys::Headphone, E_ACCESSDENIED, 1);
    sim->FailOn(op::GetId, E_OUTOFMEMORY, 3);  // the selector's id
    Load(1);
    auto writes = AcceptedWrites();
    ASSERT_EQ(5u, writes.size());
    EXPECT_TRUE(IsEqualPropertyKey(keys::ModeWord, writes[1].key));
    EXPECT_TRUE(IsEqualPropertyKey(keys::SoundSpaceExpander, writes[2].key));
    EXPECT_TRUE(IsEqualPropertyKey(keys::NaturalBass, writes[4].key));
    EXPECT_EQ((std::vector<int>{1, 6, 7, 9}), Fields(g_headphone));
    EXPECT_EQ((std::vector<int>{1, 19, 5, 3}), Fields(g_naturalBass));
}

TEST_F(EffectState, LaterStartLoadsTheStoredWordsWithoutWriting) {
    Load(1);
    SetFxWord(keys::NaturalBass, 0x80003213);
    SetFxWord(keys::SoundSpaceExpander, 0x00000001);
    sim->ClearWrites();

    Load(1);
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ((std::vector<int>{0, 0, 7, 6, 0, 0}), Fields(g_modeWord));
    EXPECT_EQ((std::vector<int>{1, 6, 7, 9}), Fields(g_headphone));
    EXPECT_EQ((std::vector<int>{0, 13}), Fields(g_soundSpaceExpander));
    EXPECT_EQ((std::vector<int>{1, 19, 2, 3}), Fields(g_naturalBass));
}

TEST_F(EffectState, SelectorOneGoesBackToTwoWhileTheHeadphoneEffectIsOff) {
    MarkConfigured();
    SetFxWord(keys::HeadphoneSelector, 1);
    SetFxWord(keys::Headphone, 0x80000211);
    Load(1);
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ(1u, FxWord(keys::HeadphoneSelector));

    SetFxWord(keys::Headphone, 0x00000211);
    Load(1);
    auto writes = AcceptedWrites();
    ASSERT_EQ(1u, writes.size());
    EXPECT_TRUE(IsEqualPropertyKey(keys::HeadphoneSelector, writes[0].key));
    EXPECT_EQ(2u, FxWord(keys::HeadphoneSelector));
}

TEST_F(EffectState, OnlySelectorOneIsRewritten) {
    MarkConfigured();
    SetFxWord(keys::Headphone, 0x00000211);
    for (DWORD selector : {0u, 2u, 3u, 0x80000001u}) {
        SetFxWord(keys::HeadphoneSelector, selector);
        Load(1);
        EXPECT_TRUE(sim->Writes().empty()) << selector;
    }
}

// The marker first, then the words in a fixed order: failing the nth read zeroes exactly the
// nth word, so a word read out of turn shows.
TEST_F(EffectState, LaterStartReadsTheWordsInOrder) {
    MarkConfigured();
    SetFxWord(keys::ModeWord, 0x006007E0);
    SetFxWord(keys::Headphone, 0x80000211);
    SetFxWord(keys::HeadphoneSelector, 2);
    SetFxWord(keys::SoundSpaceExpander, 0x80000001);
    SetFxWord(keys::LevelWord, 0x80000005);
    SetFxWord(keys::NaturalBass, 0x80003513);
    const std::vector<int> mode = {0, 0, 7, 6, 0, 0}, headphone = {1, 6, 7, 9}, expander = {1, 13},
                           level = {1, 5}, bass = {1, 19, 5, 3};
    const std::vector<int> zero4 = {0, 0, 0, 0};
    struct Case {
        int failedRead;
        std::vector<int> mode, headphone, expander, level, bass;
    };
    const Case cases[] = {
        {2, {0, 2, 0, 0, 0, 0}, headphone, expander, level, bass},
        {3, mode, {0, 5, 0, 0}, expander, level, bass},
        {4, mode, headphone, expander, level, bass},  // the selector
        {5, mode, headphone, {0, 12}, level, bass},
        {6, mode, headphone, expander, {0, 0}, bass},
        {7, mode, headphone, expander, level, zero4},
    };
    for (const Case& c : cases) {
        sim->ClearFailures();
        sim->FailOn(op::FxStoreGetValue, E_FAIL, c.failedRead);
        Load(1);
        EXPECT_EQ(c.mode, Fields(g_modeWord)) << "read " << c.failedRead;
        EXPECT_EQ(c.headphone, Fields(g_headphone)) << "read " << c.failedRead;
        EXPECT_EQ(c.expander, Fields(g_soundSpaceExpander)) << "read " << c.failedRead;
        EXPECT_EQ(c.level, Fields(g_levelWord)) << "read " << c.failedRead;
        EXPECT_EQ(c.bass, Fields(g_naturalBass)) << "read " << c.failedRead;
    }
    EXPECT_TRUE(sim->Writes().empty());
}

TEST_F(EffectState, AFailedSelectorReadWritesNothing) {
    MarkConfigured();
    SetFxWord(keys::HeadphoneSelector, 1);
    sim->FailOnKey(op::FxStoreGetValue, keys::HeadphoneSelector, E_FAIL);
    Load(1);
    EXPECT_TRUE(sim->Writes().empty());
}

TEST_F(EffectState, CodesWithoutStoredBitsEndUpZero) {
    MarkConfigured();
    SetFxWord(keys::Headphone, 0x80000000);
    SetFxWord(keys::ModeWord, 0x00E00000);  // mode field 7: no code
    Load(1);
    EXPECT_EQ((std::vector<int>{1, 5, 0, 0}), Fields(g_headphone));
    EXPECT_EQ(0, g_modeWord.modeOption);
}

TEST_F(EffectState, WordsThatCannotBeReadLoadAsZero) {
    MarkConfigured();
    SetFxWord(keys::NaturalBass, 0x80003513);
    SetFxWord(keys::SoundSpaceExpander, 0x80000001);
    SetFx(keys::Headphone, Value::String(L"on"));
    sim->FailOnKey(op::FxStoreGetValue, keys::NaturalBass, E_ACCESSDENIED);
    Load(1);
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), Fields(g_naturalBass));
    EXPECT_EQ((std::vector<int>{0, 5, 0, 0}), Fields(g_headphone));
    EXPECT_EQ((std::vector<int>{1, 13}), Fields(g_soundSpaceExpander));
}

TEST_F(EffectState, WordsOfOtherNumericTypesLoadByTheirBits) {
    MarkConfigured();
    SetFx(keys::NaturalBass, Value::Int32(-2147470061));  // 0x80003513
    SetFx(keys::SoundSpaceExpander, Value::Blob({1, 2, 3}));
    Load(1);
    EXPECT_EQ((std::vector<int>{1, 19, 5, 3}), Fields(g_naturalBass));
    EXPECT_EQ((std::vector<int>{0, 13}), Fields(g_soundSpaceExpander));  // its length, 3
}

TEST_F(EffectState, AMarkerOfAnotherTypeCountsAsAbsent) {
    for (const Value& marker : {Value::Int32(0), Value::String(L"0"), Value::Blob({0, 0, 0, 0})}) {
        SetFx(keys::FirstRunMarker, marker);
        sim->ClearWrites();
        Load(1);
        EXPECT_EQ(7u, AcceptedWrites().size()) << marker.Describe();
        EXPECT_EQ(0u, FxWord(keys::FirstRunMarker)) << marker.Describe();
    }
}

TEST_F(EffectState, AMarkerOfTheRightTypeCountsWhateverItsValue) {
    SetFxWord(keys::FirstRunMarker, 7);
    Load(1);
    EXPECT_TRUE(sim->Writes().empty());
}

// A passing read error must not put the defaults over a person's settings: the stored words load.
TEST_F(EffectState, AnUnreadableMarkerLoadsTheStoredWords) {
    MarkConfigured();
    SetFxWord(keys::NaturalBass, 0x8000622A);
    SetFxWord(keys::Headphone, 0x80000321);
    sim->FailOnKey(op::FxStoreGetValue, keys::FirstRunMarker, E_FAIL, 1);
    Load(3);
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ((std::vector<int>{1, 0x2A, 2, 6}), Fields(g_naturalBass));
    EXPECT_EQ((std::vector<int>{1, 6, 8, 10}), Fields(g_headphone));
}

// Selector 1 goes back to 2 when the headphone word reads as off, a word that is not there
// included; a word that cannot be read, or holds no number, says nothing of the effect.
TEST_F(EffectState, TheSelectorFollowsAHeadphoneWordReadAsOffOnly) {
    struct Case {
        const char* name;
        std::function<void()> headphone;
        DWORD selector;
    };
    const Case cases[] = {
        {"on", [&] { SetFxWord(keys::Headphone, 0x80000211); }, 1},
        {"unreadable",
         [&] {
             SetFxWord(keys::Headphone, 0x00000211);
             sim->FailOnKey(op::FxStoreGetValue, keys::Headphone, E_FAIL, 1);
         },
         1},
        {"a string", [&] { SetFx(keys::Headphone, Value::String(L"off")); }, 1},
        {"not there", [&] { sim->RemoveProperty(Store::Fx, kSpeakersId, keys::Headphone); }, 2},
        {"off", [&] { SetFxWord(keys::Headphone, 0x00000211); }, 2},
        {"a blob: its count, 3", [&] { SetFx(keys::Headphone, Value::Blob({1, 2, 3})); }, 2},
    };
    MarkConfigured();
    for (const Case& c : cases) {
        SetFxWord(keys::HeadphoneSelector, 1);
        c.headphone();
        Load(1);
        EXPECT_EQ(c.selector, FxWord(keys::HeadphoneSelector)) << c.name;
        sim->ClearFailures();
    }
}

// Which records a command may build on: the defaults of a first run, and words stored as integers.
TEST_F(EffectState, TellsWhichRecordsWereTakenFromAWord) {
    HeldWords held = {false, false};
    Load(1);  // a first run
    LoadEffectState(fxStore.Get(), device.Get(), 1, &held);
    EXPECT_TRUE(held.headphone && held.naturalBass) << "stored defaults";
    sim->RemoveProperty(Store::Fx, kSpeakersId, keys::Headphone);
    SetFx(keys::NaturalBass, Value::BlobObject({1, 2, 3, 4, 5}));
    LoadEffectState(fxStore.Get(), device.Get(), 1, &held);
    EXPECT_FALSE(held.headphone);
    EXPECT_FALSE(held.naturalBass);
    SetFx(keys::Headphone, Value::Scalar(VT_UI8, 0x80000211));
    SetFx(keys::NaturalBass, Value::String(L"0x80003513"));
    LoadEffectState(fxStore.Get(), device.Get(), 1, &held);
    EXPECT_TRUE(held.headphone);
    EXPECT_FALSE(held.naturalBass);
    // A first run whose writes went nowhere still holds its defaults.
    sim->RemoveProperty(Store::Fx, kSpeakersId, keys::FirstRunMarker);
    held = {false, false};
    LoadEffectState(fxStore.Get(), nullptr, 1, &held);
    EXPECT_TRUE(held.headphone && held.naturalBass);
}

TEST_F(EffectState, WhenTheMarkerDoesNotStickEveryStartIsAFirstRun) {
    sim->SetFxHandleWritable(false);
    Load(1);
    Load(1);
    auto writes = AcceptedWrites();
    EXPECT_EQ(12u, writes.size());
    EXPECT_FALSE(sim->Property(Store::Fx, kSpeakersId, keys::FirstRunMarker));
}

}  // namespace
