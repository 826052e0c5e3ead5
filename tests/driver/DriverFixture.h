#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/audio/MallocSpy.h"
#include "sim/driver/CodecDriver.h"
#include "tests/support/DebugCapture.h"
#include "tests/support/HResult.h"

using sim::driver::Step;
namespace control = sim::driver::control;

// The codec's interface class as it appears in device paths.
inline const std::wstring kClassText = L"{5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}";

// A device path of the private class for the given hardware identifier.
inline std::wstring CodecPath(const std::wstring& hardwareId) {
    return L"\\\\?\\hdaudio#func_01&" + hardwareId +
           L"&subsys_1025034a&rev_1001#4&2d5c1b7e&0&0001#" + kClassText + L"\\elineoutwave";
}

inline const std::wstring kSupportedPath = CodecPath(L"ven_9e5b&dev_0615");

// A test against the simulated codec driver. The per-user switch starts absent (the detection
// on). It ends by checking that no device handle is open, no device-information set is alive,
// no call was out of place and no detail copy leaked.
class DriverTest : public testing::Test {
protected:
    void SetUp() override {
        m_blocksAtStart = sim::audio::LiveCoTaskMemBlocks();
        DeleteSwitch();
    }
    void TearDown() override {
        EXPECT_EQ("", driver.Leftovers());
        EXPECT_EQ(m_blocksAtStart, sim::audio::LiveCoTaskMemBlocks()) << "detail copies leaked";
        DeleteSwitch();
    }

    // The switch "Enable_Front_Panel_Jack_Detect" with the given type and bytes.
    static void SetSwitch(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"Enable_Front_Panel_Jack_Detect", 0, type,
                                                static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    static void SetSwitchText(const std::wstring& text) {
        SetSwitch(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static void DeleteSwitch() {
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec Default");
    }

    std::vector<std::string> DebugLines() const { return debug.Lines(); }

    sim::driver::ScopedCodecDriver driver;
    ScopedDebugCapture debug;

private:
    static constexpr wchar_t kSwitchKey[] =
        L"SYSTEM\\CurrentControlSet\\Services\\XAN HD Audio Codec "
        L"Default\\KelpaINI\\Kelpa\\OPTIONS";
    size_t m_blocksAtStart = 0;
};
