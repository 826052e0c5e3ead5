#include <gtest/gtest.h>

#include <cwchar>

#include "tests/endpoints/InventoryFixture.h"

namespace {

namespace op = sim::audio::op;

struct ClassifyCase {
    const char* name;
    EDataFlow flow;
    const wchar_t* friendlyName;
    const wchar_t* description;
    std::optional<UINT32> formFactor;
    std::optional<KSJACK_DESCRIPTION> jack;
    INT32 kind;
};

class ClassifyEndpointTest : public InventoryTest,
                             public testing::WithParamInterface<ClassifyCase> {};

TEST_P(ClassifyEndpointTest, SortsByFormFactorNameAndJack) {
    const ClassifyCase& c = GetParam();
    const std::wstring id = L"{0.0.0.00000000}.{classify}";
    Add(id, c.flow, DEVICE_STATE_ACTIVE, c.friendlyName, c.description, c.formFactor, c.jack);
    EndpointRecord record = {};
    std::wcscpy(record.friendlyName, c.friendlyName);
    std::wcscpy(record.description, c.description);
    ClassifyEndpoint(&record, Device(id).Get(), c.flow);
    EXPECT_EQ(c.kind, record.kind);
}

const ClassifyCase kCases[] = {
    // The maker's endpoints ("XAN" in the friendly name).
    {"Speakers", eRender, L"Speakers (XAN Audio)", L"Speakers", Speakers, {}, 0},
    {"MonoSpeakers", eRender, L"Speakers (XAN Audio)", L"Mono Speakers", Speakers, {}, 7},
    {"Headphones", eRender, L"Headphones (XAN Audio)", L"Headphones", Headphones, {}, 1},
    {"InternalSpeakerHeadphones", eRender, L"XAN Audio", L"Internal Speaker", Headphones, {}, 0},
    {"SpdifTx0", eRender, L"XAN Digital TX0", L"Digital Output", SPDIF, {}, 2},
    {"SpdifBothTransmitters", eRender, L"XAN Digital TX1 TX0", L"Digital Output", SPDIF, {}, 2},
    {"SpdifNoTransmitter", eRender, L"XAN Digital", L"Digital Output", SPDIF, {}, 2},
    {"SpdifTx1", eRender, L"XAN Digital TX1", L"Digital Output", SPDIF, {}, 4},
    {"SpdifCapture", eCapture, L"XAN Digital In", L"Digital Input", SPDIF, {}, 11},
    {"HdmiTx0", eRender, L"XAN HDMI TX0", L"HDMI", DigitalAudioDisplayDevice, {}, 3},
    {"HdmiNoTransmitter", eRender, L"XAN HDMI", L"HDMI", DigitalAudioDisplayDevice, {}, 3},
    {"HdmiTx1", eRender, L"XAN HDMI TX1", L"HDMI", DigitalAudioDisplayDevice, {}, 5},
    {"FrontMic", eCapture, L"Front Mic (XAN Audio)", L"Microphone", Microphone,
     Jack(eConnTypeOtherDigital), 12},
    {"EnhancedMic", eCapture, L"XAN Enhanced Microphone", L"Microphone", Microphone, {}, 16},
    {"MicOnMiniJack", eCapture, L"Mic (XAN Audio)", L"Microphone", Microphone,
     Jack(eConnType3Point5mm), 8},
    {"MicOnOtherJack", eCapture, L"Mic (XAN Audio)", L"Microphone", Microphone, Jack(eConnTypeRCA),
     8},
    {"MicWithoutJack", eCapture, L"Mic (XAN Audio)", L"Microphone", Microphone, {}, 8},
    {"MicOtherAnalog", eCapture, L"Mic (XAN Audio)", L"Microphone", Microphone,
     Jack(eConnTypeOtherAnalog), 12},
    {"MicOtherDigital", eCapture, L"Mic (XAN Audio)", L"Microphone", Microphone,
     Jack(eConnTypeOtherDigital), 15},
    {"LineOnMiniJack", eCapture, L"Line In (XAN Audio)", L"Line In", LineLevel,
     Jack(eConnType3Point5mm), 10},
    {"LineOnOtherJack", eCapture, L"Line In (XAN Audio)", L"Line In", LineLevel,
     Jack(eConnTypeOptical), 9},
    {"LineWithoutJack", eCapture, L"Line In (XAN Audio)", L"Line In", LineLevel, {}, 9},
    {"LineCd", eCapture, L"CD Audio (XAN Audio)", L"CD", LineLevel, Jack(eConnType3Point5mm), 13},
    {"HeadsetMono", eCapture, L"Headset (XAN Audio)", L"Mono Headset", Headset, {}, 7},
    {"HeadsetStereo", eCapture, L"Headset (XAN Audio)", L"Headset", Headset, {}, 12},
    {"UnknownCd", eCapture, L"CD (XAN Audio)", L"Input", UnknownFormFactor, {}, 13},
    {"UnknownOther", eCapture, L"Aux (XAN Audio)", L"Input", UnknownFormFactor, {}, 9},
    {"Handset", eRender, L"XAN Handset", L"Handset", Handset, {}, 0},
    {"OutsideTheList", eRender, L"XAN Something", L"Something", 42u, {}, 0},
    {"NoFormFactorStored", eRender, L"XAN Speakers", L"Speakers", {}, {}, 0},
    // Other makers' endpoints.
    {"OtherHdmi", eRender, L"HDMI (Other Audio)", L"HDMI", DigitalAudioDisplayDevice, {}, 6},
    {"OtherSpdifAtHdmi", eRender, L"Digital (Other)", L"SPDIF", SPDIF,
     Jack(eConnTypeOtherDigital, eGeoLocHDMI), 6},
    {"OtherSpdifElsewhere", eRender, L"Digital (Other)", L"SPDIF", SPDIF,
     Jack(eConnTypeOptical, eGeoLocRear), 16},
    {"OtherSpdifDigitalJackElsewhere", eRender, L"Digital (Other)", L"SPDIF", SPDIF,
     Jack(eConnTypeOtherDigital, eGeoLocRear), 16},
    {"OtherSpdifWithoutJack", eRender, L"Digital (Other)", L"SPDIF", SPDIF, {}, 16},
    {"OtherSpdifCapture", eCapture, L"Digital In (Other)", L"SPDIF", SPDIF, {}, 0},
    {"OtherSpeakers", eRender, L"Speakers (Other Audio)", L"Speakers", Speakers, {}, 16},
    {"LowerCaseMakerIsAnotherMaker",
     eRender,
     L"Speakers (xan audio)",
     L"Speakers",
     Speakers,
     {},
     16},
    {"OtherNoFormFactorStored", eRender, L"Speakers (Other)", L"Speakers", {}, {}, 16},
    // Each name test looks at its own field, and the tests come in their order.
    {"MakerOnlyInDescription", eRender, L"Speakers", L"XAN Speakers", Speakers, {}, 16},
    {"MonoOnlyInFriendlyName", eRender, L"Mono (XAN)", L"Speakers", Speakers, {}, 0},
    {"InternalSpeakerOnlyInFriendlyName",
     eRender,
     L"Internal Speaker (XAN)",
     L"Headphones",
     Headphones,
     {},
     1},
    {"TransmitterOnlyInDescription", eRender, L"XAN Digital", L"Out TX1", SPDIF, {}, 2},
    {"HdmiBothTransmitters",
     eRender,
     L"XAN HDMI TX1 TX0",
     L"HDMI",
     DigitalAudioDisplayDevice,
     {},
     3},
    {"HdmiTransmitterOnlyInDescription",
     eRender,
     L"XAN HDMI",
     L"HDMI TX1",
     DigitalAudioDisplayDevice,
     {},
     3},
    {"FrontMicBeforeEnhanced", eCapture, L"XAN Enhanced Front Mic", L"Mic", Microphone, {}, 12},
    {"FrontMicOnlyInDescription", eCapture, L"Mic (XAN)", L"Front Mic Enhanced", Microphone, {}, 8},
    {"LineCdOnlyInDescription", eCapture, L"Line In (XAN)", L"CD", LineLevel,
     Jack(eConnType3Point5mm), 10},
    {"UnknownCdOnlyInDescription", eCapture, L"Aux (XAN)", L"CD", UnknownFormFactor, {}, 9},
    {"HeadsetMonoOnlyInFriendlyName", eCapture, L"Mono Headset (XAN)", L"Headset", Headset, {}, 12},
    {"RemoteNetworkDevice", eRender, L"XAN Remote", L"Remote", RemoteNetworkDevice, {}, 0},
    {"DigitalPassthrough",
     eRender,
     L"XAN Passthrough",
     L"Digital",
     UnknownDigitalPassthrough,
     {},
     0},
    {"OtherHdmiCapture", eCapture, L"HDMI In (Other)", L"HDMI", DigitalAudioDisplayDevice, {}, 6},
    {"OtherMicrophone", eCapture, L"Front Mic (Other)", L"Mic", Microphone,
     Jack(eConnTypeOtherAnalog), 16},
    {"OtherLineLevelCd", eCapture, L"CD (Other)", L"CD", LineLevel, {}, 16},
    {"OtherHeadphones", eRender, L"Headphones (Other)", L"Internal Speaker", Headphones, {}, 16},
};

INSTANTIATE_TEST_SUITE_P(Rules, ClassifyEndpointTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

using Classify = InventoryTest;

TEST_F(Classify, AFrontMicIsPlacedWithoutAskingTheJack) {
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"Front Mic (XAN)", L"Microphone", Microphone,
        Jack(eConnType3Point5mm));
    EndpointRecord record = {};
    std::wcscpy(record.friendlyName, L"Front Mic (XAN)");
    ClassifyEndpoint(&record, Device(L"mic").Get(), eCapture);
    EXPECT_EQ(12, record.kind);
    EXPECT_EQ(0, sim->Calls(op::Activate));
}

TEST_F(Classify, AnUnreadableFormFactorCountsAsUnknown) {
    Add(L"line", eCapture, DEVICE_STATE_ACTIVE, L"XAN", L"In", Speakers, {});
    sim->FailOn(op::OpenPropertyStore, E_ACCESSDENIED);
    CComPtr<IMMDevice> device = Device(L"line");
    EXPECT_EQ(static_cast<UINT32>(UnknownFormFactor), ReadFormFactor(device.Get()));
    EXPECT_EQ(static_cast<UINT32>(UnknownFormFactor), ReadFormFactor(nullptr));
    EndpointRecord record = {};
    std::wcscpy(record.friendlyName, L"XAN Line");
    ClassifyEndpoint(&record, device.Get(), eCapture);
    EXPECT_EQ(9, record.kind);
    std::wcscpy(record.friendlyName, L"Other Line");
    ClassifyEndpoint(&record, device.Get(), eCapture);
    EXPECT_EQ(16, record.kind);
}

TEST_F(Classify, AJackIsReadOnlyWhenTheWholeWalkSucceeds) {
    Add(L"mic", eCapture, DEVICE_STATE_ACTIVE, L"Mic (XAN)", L"Microphone", Microphone,
        Jack(eConnTypeOtherDigital));
    CComPtr<IMMDevice> device = Device(L"mic");
    KSJACK_DESCRIPTION jack;
    ASSERT_TRUE(GetEndpointJackDescription(device.Get(), &jack));
    EXPECT_EQ(eConnTypeOtherDigital, jack.ConnectionType);
    EXPECT_EQ(1u, GetEndpointJackCount(device.Get()));

    for (const char* step :
         {op::Activate, op::GetConnectorCount, op::GetConnector, op::GetConnectedTo, op::QueryPart,
          op::PartActivate, op::GetJackCount, op::GetJackDescription}) {
        sim->ClearFailures();
        sim->FailOn(step, E_FAIL);
        KSJACK_DESCRIPTION untouched = Jack(eConnTypeRCA);
        EXPECT_FALSE(GetEndpointJackDescription(device.Get(), &untouched)) << step;
        // Without a jack count the output is not even cleared; with one it is.
        EXPECT_EQ(step == op::GetJackDescription ? eConnTypeUnknown : eConnTypeRCA,
                  untouched.ConnectionType)
            << step;
    }
    sim->ClearFailures();
    sim->SetConnectorCount(L"mic", 0);
    EXPECT_EQ(0u, GetEndpointJackCount(device.Get()));
}

}  // namespace
