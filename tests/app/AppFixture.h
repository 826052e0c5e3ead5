#pragma once

#include <afxdlgs.h>
#include <functiondiscoverykeys_devpkey.h>

#include <string>

#include "app/PropertyPageApp.h"
#include "sim/machine/EffectKeys.h"
#include "sim/driver/CodecDriver.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/driver/DriverFixture.h"
#include "tests/support/ExtensionLibrary.h"
#include "tests/support/ModalAction.h"
#include "tests/support/SimAudioTest.h"

namespace keys = sim::keys;

using sim::audio::Store;
using sim::audio::Value;

inline constexpr wchar_t kLaptopSpeakers[] =
    L"{0.0.0.00000000}.{4f1e9c22-7b3a-4d05-a8e1-6c2d90b1f377}";

// The whole laptop: the codec with its effects installed, the extension library, and the
// maker's speakers, on Windows 7. Every test ends with nothing alive and nothing leaked.
class AppTest : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        driver.AddInterface(kSupportedPath);
        driver.SetEffectSupport(0x8);  // bit 3: the effects this program configures
        sim->AddEndpoint(kLaptopSpeakers);
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_Device_FriendlyName,
                         Value::String(L"Speakers (XAN High Definition Audio)"));
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_Device_DeviceDesc,
                         Value::String(L"Speakers"));
        sim->SetProperty(Store::Endpoint, kLaptopSpeakers, PKEY_AudioEndpoint_FormFactor,
                         Value::UInt32(Speakers));
    }
    void TearDown() override {
        EXPECT_EQ("", driver.Leftovers());
        EXPECT_EQ(0, VisibleThreadWindows());
        SimAudioTest::TearDown();
    }

    sim::ScopedWindowsVersion windows7{6, 1};
    sim::driver::ScopedCodecDriver driver;
    ScopedDllDirectory extension{ExtensionVariantDir(L"full")};
};

// The sheet's buttons, in its client coordinates.
inline RECT ButtonRect(HWND sheet, int id) {
    RECT rect = {};
    HWND button = ::GetDlgItem(sheet, id);
    ::GetWindowRect(button, &rect);
    ::MapWindowPoints(nullptr, sheet, reinterpret_cast<LPPOINT>(&rect), 2);
    return rect;
}
