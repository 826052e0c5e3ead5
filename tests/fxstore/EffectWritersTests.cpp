#include <gtest/gtest.h>

#include "framework/CComPtr.h"
#include "fxstore/EffectWriters.h"
#include "fxstore/FxPropertyStore.h"
#include "tests/fxstore/FxStoreFixture.h"

namespace {

namespace op = sim::audio::op;

class EffectWriters : public FxStoreTest {
protected:
    void SetUp() override {
        FxStoreTest::SetUp();
        GetSpeakersDevice();
        ASSERT_EQ(Hr(S_OK), Hr(OpenFxPropertyStore(kSpeakersId, &fxStore)));
    }
    void TearDown() override {
        fxStore.Release();
        FxStoreTest::TearDown();
    }
    CComPtr<IPropertyStore> fxStore;
};

TEST_F(EffectWriters, WriteThePackedWordIntoTheFxStoreByTheDevicesId) {
    EXPECT_EQ(Hr(S_OK), Hr(WriteHeadphoneWord(device.Get(), TRUE, 6, 7, 9)));
    EXPECT_EQ(Hr(S_OK), Hr(WriteModeWord(device.Get(), FALSE, 0, 7, 14, 0, 0)));
    EXPECT_EQ(Hr(S_OK), Hr(WriteHeadphoneSelector(device.Get(), 7)));

    auto writes = sim->Writes();
    ASSERT_EQ(3u, writes.size());
    for (const auto& write : writes) {
        EXPECT_EQ(Store::Fx, write.store);
        EXPECT_EQ(kSpeakersId, write.endpointId);
        EXPECT_EQ(VT_UI4, write.value.Type());
    }
    EXPECT_EQ(0x80000211u, FxWord(keys::Headphone));
    EXPECT_EQ(0x006007E0u, FxWord(keys::ModeWord));
    EXPECT_EQ(7u, FxWord(keys::HeadphoneSelector));  // unchanged, whatever its value
}

TEST_F(EffectWriters, WithoutADeviceOrIdNothingIsWritten) {
    EXPECT_EQ(Hr(E_FAIL), Hr(WriteHeadphoneWord(nullptr, TRUE, 6, 7, 9)));
    EXPECT_EQ(Hr(E_FAIL), Hr(WriteModeWord(nullptr, FALSE, 0, 7, 14, 0, 0)));
    EXPECT_EQ(Hr(E_FAIL), Hr(WriteHeadphoneSelector(nullptr, 2)));
    sim->FailOn(op::GetId, E_OUTOFMEMORY, 1);
    EXPECT_EQ(Hr(E_OUTOFMEMORY), Hr(WriteHeadphoneSelector(device.Get(), 2)));
    sim->SucceedWithNull(op::GetId, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(WriteHeadphoneSelector(device.Get(), 2)));
    EXPECT_TRUE(sim->Writes().empty());
}

TEST_F(EffectWriters, ReturnTheWriteFailure) {
    SetFxWord(keys::Headphone, 0x00000211);
    sim->FailOn(op::WriteEndpointProperty, E_ACCESSDENIED);
    EXPECT_EQ(Hr(E_ACCESSDENIED), Hr(WriteHeadphoneWord(device.Get(), TRUE, 6, 7, 9)));
    EXPECT_EQ(0x00000211u, FxWord(keys::Headphone));
}

TEST_F(EffectWriters, ReadHeadphoneSettingsUnpacksEvenAFailedRead) {
    SetFxWord(keys::Headphone, 0x80000331);
    HeadphoneSettings settings = {};
    EXPECT_EQ(Hr(S_OK), Hr(ReadHeadphoneSettings(fxStore.Get(), &settings)));
    EXPECT_EQ(1, settings.enabled);
    EXPECT_EQ(6, settings.bit0Option);
    EXPECT_EQ(8, settings.bits8to11Option);
    EXPECT_EQ(11, settings.bits4to7Option);

    sim->FailOn(op::FxStoreGetValue, E_UNEXPECTED);
    EXPECT_EQ(Hr(E_UNEXPECTED), Hr(ReadHeadphoneSettings(fxStore.Get(), &settings)));
    EXPECT_EQ(0, settings.enabled);
    EXPECT_EQ(5, settings.bit0Option);
    EXPECT_EQ(8, settings.bits8to11Option);  // no code for 0: kept
    EXPECT_EQ(11, settings.bits4to7Option);

    EXPECT_EQ(Hr(E_POINTER), Hr(ReadHeadphoneSettings(nullptr, &settings)));
}

}  // namespace
