// The sweep's own per-user switch: the program's read of it reaches the sweep's key, each of its
// calls passes through the call sweep, and every other key stays Windows'.
#include <gtest/gtest.h>

#include <windows.h>

#include "bench/sweep/RegistryCalls.h"
#include "driver/FrontPanelSwitch.h"
#include "sim/platform/CallSweep.h"

namespace {

namespace call_sweep = sim::call_sweep;
using call_sweep::Variant;

constexpr wchar_t kSwitchKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default\\KelpaINI\\Kelpa\\OPTIONS\\";
constexpr wchar_t kValueName[] = L"Enable_Front_Panel_Jack_Detect";

class SweptSwitch : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(sweep::RouteRegistryCallsThroughSweep()); }
    void TearDown() override {
        call_sweep::Stop();
        EXPECT_EQ("", sweep::OpenSwitchKeys());
    }
};

TEST_F(SweptSwitch, TheProgramsReadTakesThreeSweptCallsAndFindsTheDetectionOn) {
    call_sweep::StartCounting();
    EXPECT_TRUE(IsFrontPanelJackDetectEnabled());
    call_sweep::Stop();
    std::vector<std::pair<std::string, bool>> calls;
    for (const call_sweep::Call& call : call_sweep::RecordedCalls()) {
        calls.emplace_back(call.name, call.offersUnusable);
    }
    EXPECT_EQ((std::vector<std::pair<std::string, bool>>{
                  {"RegOpenKeyExW(KelpaINI\\Kelpa\\OPTIONS)", false},
                  {"RegQueryValueExW(Enable_Front_Panel_Jack_Detect)", true},
                  {"RegCloseKey(KelpaINI\\Kelpa\\OPTIONS)", false}}),
              calls);
}

TEST_F(SweptSwitch, AFailingCallLeavesTheDetectionOnAndANumberTurnsItOff) {
    const struct {
        size_t call;
        Variant variant;
        BOOL enabled;
        size_t calls;  // a key that did not open is neither read nor closed
    } cases[] = {
        {1, Variant::Failure, TRUE, 1},
        {2, Variant::Failure, TRUE, 3},
        {3, Variant::Failure, TRUE, 3},
        // REG_DWORD 1: its bytes taken as text hold no digit.
        {2, Variant::Unusable, FALSE, 3},
    };
    for (const auto& c : cases) {
        call_sweep::StartAnswering(c.call, c.variant);
        EXPECT_EQ(c.enabled, IsFrontPanelJackDetectEnabled()) << "call " << c.call;
        EXPECT_EQ(call_sweep::Calls().at(c.call - 1), call_sweep::AnsweredCall());
        EXPECT_EQ(c.calls, call_sweep::Calls().size()) << "call " << c.call;
    }
}

TEST_F(SweptSwitch, AnswersAsTheRegistryDoes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, &key));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, kValueName, nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, size);
    BYTE tooSmall[2] = {};
    size = sizeof tooSmall;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExW(key, kValueName, nullptr, nullptr, tooSmall, &size));
    EXPECT_EQ(4u, size);
    wchar_t text[8] = {};
    size = sizeof text;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, kValueName, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(text), &size));
    EXPECT_STREQ(L"1", text);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(key, L"Other", nullptr, nullptr, nullptr, &size));

    call_sweep::StartAnswering(1, Variant::Unusable);
    DWORD number = 0;
    size = sizeof number;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, kValueName, nullptr, &type,
                                              reinterpret_cast<BYTE*>(&number), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(1u, number);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // Any other key is Windows' own.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key));
    EXPECT_EQ("", sweep::OpenSwitchKeys());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

}  // namespace
