#include <gtest/gtest.h>

#include "driver/EffectSupport.h"
#include "driver/HDAudDevice.h"
#include "driver/PolicyState.h"
#include "platform/Platform.h"
#include "tests/driver/DriverFixture.h"

namespace {

// The lines each failing step sends.
const std::string kPolicyOpen = "GetHDAudPolicyState: CreateFile: INVALID_HANDLE_VALUE\n";
const std::string kPolicyControl =
    "GetHDAudPolicyState: DeviceIoControl: IOCTL_HDAUD_GET_POLICY failed\n";
const std::string kJackOpen = "GetHDAudioJackStatus: CreateFile: INVALID_HANDLE_VALUE\n";
const std::string kJackControl =
    "GetHDAudioJackStatus: DeviceIoControl: IOCTL_HDAUD_GET_XAN_JACK_STATUS failed\n";
const std::string kRetaskingOpen = "GetHDFrontPanelRetasking: CreateFile: INVALID_HANDLE_VALUE\n";
const std::string kRetaskingControl =
    "GetHDFrontPanelRetasking: DeviceIoControl: IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING failed\n";
const std::string kChipOpen = "GetRM4512S_FrontPanelRetasking: CreateFile: INVALID_HANDLE_VALUE\n";
const std::string kChipControl =
    "GetRM4512S_FrontPanelRetasking: DeviceIoControl: IOCTL_HDAUD_GET_FP_RETASKING_RM4512S "
    "failed\n";
const std::string kSupportOpen = "GetInstalledSoundeffects: CreateFile: INVALID_HANDLE_VALUE\n";
const std::string kSupportControl =
    "GetInstalledSoundeffects: DeviceIoControl: IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS failed\n";

using Lines = std::vector<std::string>;

class PolicyState : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        driver.AddInterface(kSupportedPath);
    }

    struct Outcome {
        HRESULT hr;
        BOOL flag;
    };
    Outcome Ask() {
        BOOL flag = 2;  // neither TRUE nor FALSE: the call must set it
        HRESULT hr = GetHDAudPolicyState(&flag);
        return {hr, flag};
    }
    // Policy 1 with the given jack word and retasking answers.
    void FrontPanel(WORD jack, DWORD port1, DWORD port2, DWORD chip1 = 3, DWORD chip2 = 3) {
        driver.SetPolicyState(1);
        driver.SetJackStatus(jack);
        driver.SetRetasking(port1, port2);
        driver.SetChipRetasking(chip1, chip2);
    }
};

TEST_F(PolicyState, SpeakersOnlyPolicyAsksNothingMore) {
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ(1, driver.Count("CreateFileW"));
    EXPECT_EQ(1, driver.Count("DeviceIoControl 0x001D6004"));
    // The handle is opened as the driver expects and closed again.
    const auto& open = driver.LastOpen();
    EXPECT_EQ(kSupportedPath, open.path);
    EXPECT_EQ(GENERIC_READ | GENERIC_WRITE, open.access);
    EXPECT_EQ(static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE), open.shareMode);
    EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), open.creation);
    EXPECT_EQ(0u, open.flags);
    EXPECT_FALSE(open.security || open.templateFile);
    EXPECT_EQ(1, driver.Count("CloseHandle"));
}

TEST_F(PolicyState, AnUnknownPolicyFails) {
    driver.SetPolicyState(2);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(E_FAIL), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ(Lines{}, DebugLines());
}

struct FrontPanelCase {
    const char* name;
    WORD jack;
    DWORD port1, port2, chip1, chip2;
    bool genericFails, chipFails;
    BOOL flag;
};

class FrontPanelDecision : public PolicyState,
                           public testing::WithParamInterface<FrontPanelCase> {};

TEST_P(FrontPanelDecision, RaisesTheFlagForAHeadphonePortWithAPlug) {
    const FrontPanelCase& c = GetParam();
    FrontPanel(c.jack, c.port1, c.port2, c.chip1, c.chip2);
    if (c.genericFails) {
        driver.FailControl(control::Retasking);
    }
    if (c.chipFails) {
        driver.FailControl(control::ChipRetasking);
    }
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_EQ(c.flag, outcome.flag);
    // Both retasking steps are always made, each with its own handle and its own answer size.
    EXPECT_EQ(4, driver.Count("CreateFileW"));
    EXPECT_EQ(4, driver.Count("CloseHandle"));
    EXPECT_EQ(128u, driver.LastOutputSize(control::Policy));
    EXPECT_EQ(2u, driver.LastOutputSize(control::JackStatus));
    EXPECT_EQ(8u, driver.LastOutputSize(control::Retasking));
    EXPECT_EQ(8u, driver.LastOutputSize(control::ChipRetasking));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrontPanelDecision,
    testing::Values(
        FrontPanelCase{"Port1NotHeadphoneChipFails", 0x0010, 1, 1, 3, 3, false, true, FALSE},
        FrontPanelCase{"Port1Headphone", 0x0010, 2, 1, 3, 3, false, false, TRUE},
        FrontPanelCase{"Port2Headphone", 0x0020, 1, 0, 3, 3, false, false, TRUE},
        FrontPanelCase{"NoPlugInAHeadphonePort", 0x0020, 2, 1, 3, 3, false, false, FALSE},
        FrontPanelCase{"BothFailFirstJack", 0x0030, 1, 1, 3, 3, true, true, TRUE},
        FrontPanelCase{"BothFailSecondJackOnly", 0x0020, 1, 1, 3, 3, true, true, FALSE},
        FrontPanelCase{"GenericFailsChipSaysNoHeadphone", 0x0030, 2, 2, 3, 3, true, false, FALSE},
        FrontPanelCase{"ChipRaisesAfterGeneric", 0x0010, 1, 1, 0, 3, false, false, TRUE},
        FrontPanelCase{"ChipCannotLowerGeneric", 0x0010, 2, 1, 3, 3, false, false, TRUE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PolicyState, AFailedJackQueryReadsAsNoPlug) {
    FrontPanel(0x0030, 2, 2, 0, 0);
    driver.FailControl(control::JackStatus);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ(Lines{kJackControl}, DebugLines());
}

TEST_F(PolicyState, EachFailedStepSendsItsOwnLine) {
    FrontPanel(0x0010, 1, 1);
    driver.Fail(Step::Open, ERROR_ACCESS_DENIED, 2);  // the jack query's open
    driver.Fail(Step::Open, ERROR_ACCESS_DENIED, 3);  // the generic retasking's open
    driver.FailControl(control::ChipRetasking);
    Ask();
    EXPECT_EQ((Lines{kJackOpen, kRetaskingOpen, kChipControl}), DebugLines());
}

TEST_F(PolicyState, FailedOpensAndControlsOfEveryStepAreReported) {
    FrontPanel(0x0010, 1, 1);
    driver.Fail(Step::Open, ERROR_ACCESS_DENIED, 4);
    driver.FailControl(control::Retasking);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_TRUE(outcome.flag);  // neither map known: the first jack decides
    EXPECT_EQ((Lines{kRetaskingControl, kChipOpen}), DebugLines());
}

TEST_F(PolicyState, APolicyQueryThatFailsLeavesTheFlagDown) {
    driver.Fail(Step::Open, ERROR_FILE_NOT_FOUND, 1);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(E_FAIL), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    driver.FailControl(control::Policy, ERROR_GEN_FAILURE, 1);
    outcome = Ask();
    EXPECT_EQ(Hr(E_FAIL), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ((Lines{kPolicyOpen, kPolicyControl}), DebugLines());
}

TEST_F(PolicyState, WithoutTheDeviceNothingIsOpened) {
    driver.ClearInterfaces();
    driver.AddInterface(CodecPath(L"ven_1234&dev_0615"));
    EXPECT_EQ(Hr(E_FAIL), Hr(Ask().hr));
    driver.Fail(Step::CreateSpareSet, ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(Hr(E_FAIL), Hr(Ask().hr));
    EXPECT_EQ(0, driver.Count("CreateFileW"));
    EXPECT_EQ(1, driver.Count("SetupDiGetClassDevsW"));  // the second call never got that far
}

TEST_F(PolicyState, AShortPolicyAnswerReadsMissingBytesAsZero) {
    // Twenty bytes hold the policy field; with four fewer returned it reads as 0.
    std::vector<BYTE> answer(128, 0);
    answer[16] = 1;
    driver.SetAnswer(control::Policy, answer, 16);
    driver.SetJackStatus(0x0010);
    driver.SetRetasking(2, 2);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ(1, driver.Count("CreateFileW"));

    driver.SetAnswer(control::Policy, std::vector<BYTE>(answer.begin(), answer.begin() + 20));
    EXPECT_TRUE(Ask().flag);
}

TEST_F(PolicyState, AShortRetaskingAnswerReadsMissingBytesAsZero) {
    FrontPanel(0x0020, 1, 1, 3, 3);
    // Port 2's mode is not returned: 0, a headphone output for both controls.
    driver.SetAnswer(control::Retasking, {1, 0, 0, 0, 1, 0, 0, 0}, 4);
    EXPECT_TRUE(Ask().flag);
    driver.SetRetasking(1, 1);
    driver.SetAnswer(control::ChipRetasking, {3, 0, 0, 0, 3, 0, 0, 0}, 4);
    EXPECT_TRUE(Ask().flag);
}

struct SwitchCase {
    const char* name;
    std::wstring text;
    bool detection;
};

class JackDetectSwitch : public PolicyState, public testing::WithParamInterface<SwitchCase> {};

TEST_P(JackDetectSwitch, ZeroTurnsTheDetectionOffWithoutAskingTheDriver) {
    FrontPanel(0x0010, 2, 2);
    SetSwitchText(GetParam().text);
    Outcome outcome = Ask();
    EXPECT_EQ(Hr(S_OK), Hr(outcome.hr));
    EXPECT_EQ(GetParam().detection, outcome.flag == TRUE);
    EXPECT_EQ(GetParam().detection ? 4 : 0, driver.Count("CreateFileW"));
    EXPECT_EQ(GetParam().detection ? 1 : 0, driver.Count("SetupDiCreateDeviceInfoList"));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JackDetectSwitch,
    testing::Values(SwitchCase{"Zero", L"0", false}, SwitchCase{"One", L"1", true},
                    SwitchCase{"SevenAfterABlank", L" 7", true},
                    SwitchCase{"MinusThree", L"-3", true}, SwitchCase{"Letters", L"abc", false},
                    SwitchCase{"Empty", L"", false}, SwitchCase{"MinusZero", L"-0", false},
                    SwitchCase{"Huge", L"99999999999999999999", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PolicyState, ADwordSwitchReadsAsTextWithoutDigits) {
    FrontPanel(0x0010, 2, 2);
    DWORD one = 1;
    SetSwitch(REG_DWORD, &one, sizeof one);
    Outcome outcome = Ask();
    EXPECT_FALSE(outcome.flag);
    EXPECT_EQ(0, driver.Count("CreateFileW"));
}

TEST_F(PolicyState, ASwitchThatFillsAllItsBytesEndsThere) {
    FrontPanel(0x0010, 2, 2);
    // 260 bytes and no terminator (the registry would take a NUL right after them in too); the
    // last digit decides, so the text must end exactly there.
    std::wstring digits = std::wstring(129, L'0') + L"1x";
    SetSwitch(REG_SZ, digits.data(), 260);
    EXPECT_TRUE(Ask().flag);
    digits = std::wstring(130, L'0') + L"1";
    SetSwitch(REG_SZ, digits.data(), 260);
    EXPECT_FALSE(Ask().flag);
    std::wstring tooLong(132, L'0');  // not read at all: the detection stays on
    SetSwitch(REG_SZ, tooLong.data(), 262);
    EXPECT_TRUE(Ask().flag);
}

TEST_F(PolicyState, EffectSupportIsTheDriversMaskOrZero) {
    // Asked with a four-byte answer.
    HDEVINFO spare = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    HDAudDeviceInfo device = {};
    FindHDAudDevice(&device, spare);
    driver.SetEffectSupport(0x0000000F);
    EXPECT_EQ(0x0000000Fu, GetHDAudEffectSupport(&device));
    EXPECT_EQ(4u, driver.LastOutputSize(control::EffectSupport));
    driver.FailControl(control::EffectSupport, ERROR_GEN_FAILURE, 1);
    EXPECT_EQ(0u, GetHDAudEffectSupport(&device));
    driver.Fail(Step::Open, ERROR_FILE_NOT_FOUND, 1);
    EXPECT_EQ(0u, GetHDAudEffectSupport(&device));
    driver.SetAnswer(control::EffectSupport, {0x08, 0xFF, 0xFF, 0xFF}, 1);
    EXPECT_EQ(0x00000008u, GetHDAudEffectSupport(&device));
    ReleaseHDAudDevice(&device);
    EXPECT_EQ((Lines{kSupportControl, kSupportOpen}), DebugLines());
}

}  // namespace
