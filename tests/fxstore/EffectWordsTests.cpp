#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "framework/CComPtr.h"
#include "fxstore/EffectDefaults.h"
#include "fxstore/EffectWords.h"
#include "fxstore/FxPropertyStore.h"
#include "tests/fxstore/FxStoreFixture.h"

namespace {

std::vector<int> Fields(const HeadphoneSettings& s) {
    return {s.enabled, s.bit0Option, s.bits8to11Option, s.bits4to7Option};
}
std::vector<int> Fields(const ModeWordSettings& s) {
    return {s.enabled, s.modeOption, s.bits8to11, s.bits4to6, s.bit3, s.bit0};
}
std::vector<int> Fields(const NaturalBassSettings& s) {
    return {s.enabled, s.bits0to7, s.boostLevel, s.bits12to15};
}
DWORD Pack(const HeadphoneSettings& s) {
    return PackHeadphone(s.enabled, s.bit0Option, s.bits8to11Option, s.bits4to7Option);
}
DWORD Pack(const ModeWordSettings& s) {
    return PackModeWord(s.enabled, s.modeOption, s.bits8to11, s.bits4to6, s.bit3, s.bit0);
}

TEST(HeadphoneWord, UnpacksAndPacksTheDefaultWord) {
    HeadphoneSettings settings = {};
    UnpackHeadphone(0x80000211, &settings);
    EXPECT_EQ((std::vector<int>{1, 6, 7, 9}), Fields(settings));
    EXPECT_EQ(0x80000211u, Pack(settings));
}

TEST(HeadphoneWord, FieldsWithoutACodeKeepTheirPreviousCodes) {
    HeadphoneSettings settings = {1, 6, 8, 11};
    UnpackHeadphone(0x00000000, &settings);
    EXPECT_EQ((std::vector<int>{0, 5, 8, 11}), Fields(settings));
    UnpackHeadphone(0x80000F51, &settings);  // bits 8-11 = 15, bits 4-7 = 5: no codes
    EXPECT_EQ((std::vector<int>{1, 6, 8, 11}), Fields(settings));
    UnpackHeadphone(0x80000331, &settings);
    EXPECT_EQ((std::vector<int>{1, 6, 8, 11}), Fields(settings));
    UnpackHeadphone(0x00000220, &settings);
    EXPECT_EQ((std::vector<int>{0, 5, 7, 10}), Fields(settings));
}

TEST(HeadphoneWord, CodesOfOtherFieldsPackAsZero) {
    EXPECT_EQ(0x00000000u, PackHeadphone(FALSE, 5, 0, 0));
    EXPECT_EQ(0x80000000u, PackHeadphone(TRUE, 5, 0, 0));
    EXPECT_EQ(0x80000000u, PackHeadphone(TRUE, 13, 9, 7));
    EXPECT_EQ(0x80000331u, PackHeadphone(TRUE, 6, 8, 11));
}

TEST(ModeWord, TheFirstRunDefaultSpillsIntoBitSeven) {
    ModeWordSettings defaults = {0, 0, 7, 14, 0, 0};
    EXPECT_EQ(0x006007E0u, Pack(defaults));
    ModeWordSettings read = {};
    UnpackModeWord(0x006007E0, &read);
    EXPECT_EQ((std::vector<int>{0, 0, 7, 6, 0, 0}), Fields(read));
}

TEST(ModeWord, EveryModeCodeRoundTrips) {
    for (int option = 0; option <= 4; ++option) {
        ModeWordSettings settings = {1, option, 15, 7, 1, 1};
        ModeWordSettings read = {};
        UnpackModeWord(Pack(settings), &read);
        EXPECT_EQ(Fields(settings), Fields(read)) << "option " << option;
    }
}

TEST(ModeWord, FieldValuesWithoutACodeLeaveTheOptionAndUnknownOptionsPackAsZero) {
    for (DWORD field = 5; field <= 15; ++field) {
        ModeWordSettings settings = {0, 3, 0, 0, 0, 0};
        UnpackModeWord(field << 21, &settings);
        EXPECT_EQ(3, settings.modeOption) << "field " << field;
    }
    EXPECT_EQ(0x80000000u, PackModeWord(TRUE, 5, 0, 0, 0, 0));
    EXPECT_EQ(0x00000000u, PackModeWord(FALSE, -1, 0, 0, 0, 0));
}

TEST(NaturalBassWord, SliderMovesOnlyTheBoostLevel) {
    NaturalBassSettings settings = {};
    UnpackNaturalBass(0x80003513, &settings);
    EXPECT_EQ((std::vector<int>{1, 19, 5, 3}), Fields(settings));
    settings.boostLevel = 2;
    EXPECT_EQ(0x80003213u, PackNaturalBass(settings));
}

TEST(NaturalBassWord, BitsSixteenToThirtyAreDroppedOnTheNextWrite) {
    NaturalBassSettings settings = {};
    UnpackNaturalBass(0xFFFF3513, &settings);
    EXPECT_EQ(0x80003513u, PackNaturalBass(settings));
    // A record field out of its range does not spill into its neighbours.
    settings.boostLevel = 0x1F;
    EXPECT_EQ(0x80003F13u, PackNaturalBass(settings));
}

TEST(SoundSpaceExpanderWord, OptionThirteenSetsBitZero) {
    SoundSpaceExpanderSettings settings = {};
    UnpackSoundSpaceExpander(0x80000000, &settings);
    EXPECT_EQ(1, settings.enabled);
    EXPECT_EQ(12, settings.bit0Option);
    EXPECT_EQ(0x80000000u, PackSoundSpaceExpander(settings));
    EXPECT_EQ(0x00000001u, PackSoundSpaceExpander({0, 13}));
    EXPECT_EQ(0x80000001u, PackSoundSpaceExpander({1, 13}));
}

TEST(LevelWord, KeepsFourBits) {
    LevelWordSettings settings = {};
    UnpackLevelWord(0x800000FA, &settings);
    EXPECT_EQ(1, settings.enabled);
    EXPECT_EQ(10, settings.bits0to3);
    EXPECT_EQ(0x8000000Au, PackLevelWord(settings));
}

TEST(DefaultWords, FollowTheFormFactor) {
    struct Expected {
        int formFactor;
        DWORD headphone, soundSpaceExpander, naturalBass;
    };
    for (Expected e : {Expected{1, 0x80000211, 0x80000001, 0x80003513},
                       Expected{3, 0x80000211, 0x00000001, 0x80003513},
                       Expected{5, 0x80000211, 0x00000001, 0x80003513},
                       Expected{2, 0x00000211, 0x00000001, 0x00003513},
                       Expected{8, 0x00000211, 0x00000001, 0x00003513},
                       Expected{9, 0x00000211, 0x00000001, 0x00003513},
                       Expected{10, 0x00000211, 0x00000001, 0x00003513},
                       Expected{0, 0x00000211, 0x00000001, 0x00003513},
                       Expected{4, 0x00000211, 0x00000001, 0x00003513},
                       Expected{6, 0x00000211, 0x00000001, 0x00003513},
                       Expected{7, 0x00000211, 0x00000001, 0x00003513}}) {
        EffectDefaults defaults = GetEffectDefaults(e.formFactor);
        EXPECT_EQ(0x006007E0u, Pack(defaults.modeWord)) << e.formFactor;
        EXPECT_EQ(e.headphone, Pack(defaults.headphone)) << e.formFactor;
        EXPECT_EQ(2u, defaults.headphoneSelector) << e.formFactor;
        EXPECT_EQ(e.soundSpaceExpander, PackSoundSpaceExpander(defaults.soundSpaceExpander))
            << e.formFactor;
        EXPECT_EQ(0u, PackLevelWord(defaults.levelWord)) << e.formFactor;
        EXPECT_EQ(e.naturalBass, PackNaturalBass(defaults.naturalBass)) << e.formFactor;
    }
}

// One coded field: where it sits, the codes of its field values, and how a record field holding
// a code is unpacked and packed on its own.
struct CodedField {
    const char* name;
    int shift;
    DWORD largest;                          // the largest value the field's bits hold
    std::map<DWORD, int> codeOf;            // field value -> option code
    std::function<int(DWORD, int)> unpack;  // (word, code held before) -> code held after
    std::function<DWORD(int)> pack;         // code -> word
};

const CodedField kCodedFields[] = {
    {"mode bits 21-24",
     21,
     15,
     {{3, 0}, {2, 1}, {0, 2}, {1, 3}, {4, 4}},
     [](DWORD word, int before) {
         ModeWordSettings s = {0, before, 0, 0, 0, 0};
         UnpackModeWord(word, &s);
         return s.modeOption;
     },
     [](int code) { return PackModeWord(FALSE, code, 0, 0, 0, 0); }},
    {"headphone bits 8-11",
     8,
     15,
     {{2, 7}, {3, 8}},
     [](DWORD word, int before) {
         HeadphoneSettings s = {0, 5, before, 0};
         UnpackHeadphone(word, &s);
         return s.bits8to11Option;
     },
     [](int code) { return PackHeadphone(FALSE, 5, code, 0); }},
    {"headphone bits 4-7",
     4,
     15,
     {{1, 9}, {2, 10}, {3, 11}},
     [](DWORD word, int before) {
         HeadphoneSettings s = {0, 5, 0, before};
         UnpackHeadphone(word, &s);
         return s.bits4to7Option;
     },
     [](int code) { return PackHeadphone(FALSE, 5, 0, code); }},
    {"headphone bit 0",
     0,
     1,
     {{0, 5}, {1, 6}},
     [](DWORD word, int before) {
         HeadphoneSettings s = {0, before, 0, 0};
         UnpackHeadphone(word, &s);
         return s.bit0Option;
     },
     [](int code) { return PackHeadphone(FALSE, code, 0, 0); }},
    {"expander bit 0",
     0,
     1,
     {{0, 12}, {1, 13}},
     [](DWORD word, int before) {
         SoundSpaceExpanderSettings s = {0, before};
         UnpackSoundSpaceExpander(word, &s);
         return s.bit0Option;
     },
     [](int code) {
         return PackSoundSpaceExpander({0, code});
     }},
};

TEST(OptionCodes, EveryFieldValueUnpacksToItsCodeOrKeepsTheCodeBefore) {
    constexpr int kBefore = 99;
    for (const CodedField& field : kCodedFields) {
        for (DWORD value = 0; value <= field.largest; ++value) {
            auto code = field.codeOf.find(value);
            int expected = code == field.codeOf.end() ? kBefore : code->second;
            EXPECT_EQ(expected, field.unpack(value << field.shift, kBefore))
                << field.name << ", field value " << value;
        }
    }
}

TEST(OptionCodes, EveryCodePacksToItsFieldValueAndAnyOtherToZero) {
    for (const CodedField& field : kCodedFields) {
        for (int code = -1; code <= 15; ++code) {
            DWORD expected = 0;
            for (auto [value, own] : field.codeOf) {
                if (own == code) {
                    expected = value << field.shift;
                }
            }
            EXPECT_EQ(expected, field.pack(code)) << field.name << ", code " << code;
        }
    }
}

TEST(EffectWords, EachFieldComesFromItsOwnBitsAndOtherBitsAreDropped) {
    NaturalBassSettings bass = {};
    UnpackNaturalBass(0x7FFFC9A7, &bass);
    EXPECT_EQ((std::vector<int>{0, 0xA7, 9, 12}), Fields(bass));
    bass.enabled = 1;
    EXPECT_EQ(0x8000C9A7u, PackNaturalBass(bass));

    ModeWordSettings mode = {};
    UnpackModeWord(0xFE9FFADF, &mode);  // field 4, 0xA at bit 8, 5 at bit 4, bits 3 and 0
    EXPECT_EQ((std::vector<int>{1, 4, 10, 5, 1, 1}), Fields(mode));
    EXPECT_EQ(0x80800A59u, Pack(mode));

    HeadphoneSettings headphone = {};
    UnpackHeadphone(0x7FFFF32E, &headphone);
    EXPECT_EQ((std::vector<int>{0, 5, 8, 10}), Fields(headphone));
    headphone.enabled = 1;
    EXPECT_EQ(0x80000320u, Pack(headphone));

    LevelWordSettings level = {};
    UnpackLevelWord(0x7FFFFFF5, &level);
    EXPECT_EQ(0, level.enabled);
    EXPECT_EQ(5, level.bits0to3);

    SoundSpaceExpanderSettings expander = {};
    UnpackSoundSpaceExpander(0x7FFFFFFE, &expander);
    EXPECT_EQ(0, expander.enabled);
    EXPECT_EQ(12, expander.bit0Option);
}

class ReadEffectWordTest : public FxStoreTest {
protected:
    void SetUp() override {
        FxStoreTest::SetUp();
        ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kSpeakersId, &store)));
    }
    void TearDown() override {
        store.Release();
        FxStoreTest::TearDown();
    }
    CComPtr<IPropertyStore> store;
};

// The word is the payload whatever the type; what was found tells an integer, on which a command
// may build, from a value that is not there, a number of another kind, and no number at all.
TEST_F(ReadEffectWordTest, TakesThePayloadOfNumbersAndTellsWhatWasFound) {
    using F = StoredWord;
    struct Case {
        Value stored;
        DWORD word;
        StoredWord found;
    };
    const Case cases[] = {
        {Value::UInt32(0x80003513), 0x80003513, F::Integer},
        {Value::Int32(-2147470061), 0x80003513, F::Integer},  // the same bits as VT_I4
        {Value::Scalar(VT_UI2, 0x3513), 0x3513, F::Integer},
        {Value::Scalar(VT_I1, 0x13), 0x13, F::Integer},
        {Value::Scalar(VT_UINT, 0x80003513), 0x80003513, F::Integer},
        {Value::Scalar(VT_UI8, 0x1234567880003513ULL), 0x80003513, F::Integer},
        {Value(), 0, F::Empty},
        {Value::Scalar(VT_NULL, 0), 0, F::Empty},
        {Value::String(L"0x80003513"), 0, F::None},
        // A count first: blobs and vectors of any kind give it.
        {Value::Blob({1, 2, 3}), 3, F::Payload},
        {Value::BlobObject({1, 2, 3, 4, 5}), 5, F::Payload},
        {Value::VectorOf(VT_LPWSTR, {Value::String(L"a"), Value::String(L"b")}), 2, F::Payload},
        {Value::VectorOf(VT_VARIANT, {Value::Bstr(L"c"), Value::Object()}), 2, F::Payload},
        {Value::Decimal(DECIMAL{0, {{0, 0}}, 1, {{0x80003513, 2}}}), 0x80003513, F::Payload},
        {Value::Scalar(VT_BOOL, 0xFFFF), 0xFFFF, F::Payload},
        {Value::Scalar(VT_ERROR, 0x80004005), 0x80004005, F::Payload},
        // An address: no word.
        {Value::AnsiString("0x80003513"), 0, F::None},
        {Value::Bstr(L"0x80003513"), 0, F::None},
        {Value::ClipData(1, {0x13, 0x35}), 0, F::None},
        {Value::Object(VT_STREAM), 0, F::None},
        {Value::SafeArray(VT_UI4, {0x13, 0x35, 0, 0x80}), 0, F::None},
    };
    for (const Case& c : cases) {
        SetFx(keys::NaturalBass, c.stored);
        DWORD word = 1;
        StoredWord found = F::Integer;
        EXPECT_EQ(Hr(S_OK), Hr(ReadEffectWord(store.Get(), keys::NaturalBass, &word, &found)));
        EXPECT_EQ(c.word, word) << c.stored.Describe();
        EXPECT_EQ(static_cast<int>(c.found), static_cast<int>(found)) << c.stored.Describe();
    }
    // The store's own success code comes back, and its word is a word.
    SetFx(keys::NaturalBass, Value::UInt32(0x80003513));
    sim->FailOn(sim::audio::op::FxStoreGetValue, S_FALSE, 1);
    DWORD word = 0;
    StoredWord found = F::None;
    EXPECT_EQ(Hr(S_FALSE), Hr(ReadEffectWord(store.Get(), keys::NaturalBass, &word, &found)));
    EXPECT_EQ(0x80003513u, word);
    EXPECT_EQ(static_cast<int>(F::Integer), static_cast<int>(found));
}

TEST_F(ReadEffectWordTest, AFailedReadGivesZero) {
    SetFxWord(keys::NaturalBass, 0x80003513);
    sim->FailOn(sim::audio::op::FxStoreGetValue, E_ACCESSDENIED);
    DWORD word = 1;
    StoredWord found = StoredWord::Integer;
    EXPECT_EQ(Hr(E_ACCESSDENIED),
              Hr(ReadEffectWord(store.Get(), keys::NaturalBass, &word, &found)));
    EXPECT_EQ(0u, word);
    EXPECT_EQ(static_cast<int>(StoredWord::None), static_cast<int>(found));
}

}  // namespace
