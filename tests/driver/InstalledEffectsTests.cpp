#include <gtest/gtest.h>

#include "driver/InstalledEffects.h"
#include "sim/driver/CodecDriver.h"
#include "tests/driver/DriverFixture.h"
#include "tests/endpoints/InventoryFixture.h"

namespace {

namespace op = sim::audio::op;

// The whole machine: codec driver, audio service and extension library.
class InstalledEffects : public InventoryTest {
protected:
    void SetUp() override {
        InventoryTest::SetUp();
        driver.AddInterface(kSupportedPath);
        driver.SetEffectSupport(0x8);  // bit 3: the effects this program configures
        std::fill(std::begin(endpointId), std::end(endpointId), L'\0');
    }
    void TearDown() override {
        EXPECT_EQ("", driver.Leftovers());
        EXPECT_EQ(nullptr, GetModuleHandleW(L"XANPropPageExt.dll")) << "library left loaded";
        InventoryTest::TearDown();
    }

    void AddSpeakers(const std::wstring& id, DWORD state = DEVICE_STATE_ACTIVE) {
        Add(id, eRender, state, L"Speakers (XAN Audio)", L"Speakers", Speakers);
    }
    bool Untouched() const {
        return std::all_of(std::begin(endpointId), std::end(endpointId),
                           [](WCHAR c) { return c == 0; });
    }

    sim::driver::ScopedCodecDriver driver;
    WCHAR endpointId[260];
};

TEST_F(InstalledEffects, FindsTheMakersSpeakersWhenTheEffectsAreInstalled) {
    Add(L"headphones", eRender, DEVICE_STATE_ACTIVE, L"Headphones (XAN)", L"Headphones",
        Headphones);
    AddSpeakers(L"{0.0.0.00000000}.{speakers}");
    EXPECT_TRUE(GetInstalledSoundeffects(endpointId));
    EXPECT_STREQ(L"{0.0.0.00000000}.{speakers}", endpointId);
    EXPECT_EQ(1, driver.Count("DeviceIoControl 0x001D6070"));
}

// Null is refused, as by the other operations: no buffer, no probe; no inventory, no record.
TEST_F(InstalledEffects, NullIsRefused) {
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(nullptr));
    EXPECT_EQ(0, driver.Count("SetupDiCreateDeviceInfoList"));
    EXPECT_EQ(0, sim->Calls(op::EnumAudioEndpoints));
    EXPECT_EQ(-1, SelectEffectsEndpoint(nullptr));
}

TEST_F(InstalledEffects, WithoutTheCodecTheInventoryIsStillBuiltAndClosed) {
    driver.ClearInterfaces();
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(0, driver.Count("CreateFileW"));
    EXPECT_EQ(2, sim->Calls(op::EnumAudioEndpoints));
}

TEST_F(InstalledEffects, OtherEffectSetsAreNotEnough) {
    driver.SetEffectSupport(0x7);
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_TRUE(Untouched());
}

TEST_F(InstalledEffects, AFailedSupportQueryCountsAsNothingInstalled) {
    driver.FailControl(control::EffectSupport);
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_TRUE(Untouched());
}

TEST_F(InstalledEffects, SelectionTakesTheFirstSpeakersInAnAcceptedState) {
    AddSpeakers(L"first");
    AddSpeakers(L"second", DEVICE_STATE_UNPLUGGED);
    EndpointInventory inventory;
    ASSERT_TRUE(OpenEndpointInventory(&inventory));
    BuildEndpointInventory(&inventory);
    EXPECT_EQ(0, SelectEffectsEndpoint(&inventory));

    // States are asked at selection time: gone by now, or active and not present at once.
    sim->SetEndpointState(L"first", DEVICE_STATE_NOTPRESENT);
    EXPECT_EQ(1, SelectEffectsEndpoint(&inventory));
    sim->SetEndpointState(L"first", DEVICE_STATE_ACTIVE | DEVICE_STATE_NOTPRESENT);
    EXPECT_EQ(1, SelectEffectsEndpoint(&inventory));
    // A state that cannot be read counts as not present.
    sim->SetEndpointState(L"first", DEVICE_STATE_ACTIVE);
    sim->FailOn(op::GetState, E_FAIL, 1);
    EXPECT_EQ(1, SelectEffectsEndpoint(&inventory));
    sim->SetEndpointState(L"second", DEVICE_STATE_NOTPRESENT);
    sim->FailOn(op::GetState, E_FAIL, 1);
    EXPECT_EQ(-1, SelectEffectsEndpoint(&inventory));
    CloseEndpointInventory(&inventory);
}

TEST_F(InstalledEffects, RenderSpeakersComeBeforeCaptureOnes) {
    // Another maker's S/PDIF input is kind 0 too, but capture endpoints are listed last.
    Add(L"capture", eCapture, DEVICE_STATE_ACTIVE, L"Digital In (Other)", L"In", SPDIF);
    AddSpeakers(L"render", DEVICE_STATE_DISABLED);
    EXPECT_TRUE(GetInstalledSoundeffects(endpointId));
    EXPECT_STREQ(L"render", endpointId);
}

TEST_F(InstalledEffects, WithoutTheLibraryTheProbeFails) {
    ScopedDllDirectory nowhere(ExtensionVariantDir(L"none").c_str());
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_TRUE(Untouched());
}

TEST_F(InstalledEffects, NoSpeakersNoEndpoint) {
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"Mic (XAN)", L"Mic", Microphone);
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_TRUE(Untouched());
}

TEST_F(InstalledEffects, WithoutTheSpareSetNothingElseIsDone) {
    driver.Fail(Step::CreateSpareSet, ERROR_NOT_ENOUGH_MEMORY, 1);
    AddSpeakers(L"speakers");
    EXPECT_FALSE(GetInstalledSoundeffects(endpointId));
    EXPECT_EQ(0, sim->Calls(op::CreateDeviceEnumerator));
}

}  // namespace
