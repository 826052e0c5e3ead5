#pragma once

#include <mmreg.h>

#include <string>
#include <vector>

#include "framework/CComPtr.h"
#include "sim/machine/EffectKeys.h"
#include "sim/audio/ComponentIds.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/support/SimAudioTest.h"

namespace keys = sim::keys;

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

inline constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{5f6c2e39-1c0b-4b8e-9a52-3f0e7d6a1c11}";

// A machine with one Speakers render endpoint, running Windows 7 unless a test says otherwise.
class FxStoreTest : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        sim->AddEndpoint(kSpeakersId);
        SetFormFactor(kSpeakersId, 1);
    }
    void TearDown() override {
        device.Release();
        enumerator.Release();
        SimAudioTest::TearDown();
    }

    // Fills enumerator and device with the speakers' IMMDevice, as the page holds it.
    void GetSpeakersDevice() {
        ASSERT_EQ(Hr(S_OK), Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                IID_IMMDeviceEnumerator,
                                                reinterpret_cast<void**>(&enumerator))));
        ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kSpeakersId, &device)));
    }

    void SetFormFactor(const std::wstring& id, int formFactor) {
        sim->SetProperty(Store::Endpoint, id, PKEY_AudioEndpoint_FormFactor,
                         Value::UInt32(formFactor));
    }
    void SetFx(const PROPERTYKEY& key, Value value, const std::wstring& id = kSpeakersId) {
        sim->SetProperty(Store::Fx, id, key, std::move(value));
    }
    void SetFxWord(const PROPERTYKEY& key, DWORD word) { SetFx(key, Value::UInt32(word)); }
    // The stored FX word, or a marker value when the key holds no VT_UI4.
    DWORD FxWord(const PROPERTYKEY& key, const std::wstring& id = kSpeakersId) {
        auto value = sim->Property(Store::Fx, id, key);
        return value && value->Type() == VT_UI4 ? value->UInt32() : 0xDEADBEEF;
    }

    // Accepted writes only, in order.
    std::vector<sim::audio::WriteRecord> AcceptedWrites() {
        std::vector<sim::audio::WriteRecord> accepted;
        for (auto& write : sim->Writes()) {
            if (SUCCEEDED(write.result)) {
                accepted.push_back(write);
            }
        }
        return accepted;
    }

    sim::ScopedWindowsVersion windows7{6, 1};
    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
};

// A device format as the endpoint store keeps it.
inline std::vector<BYTE> FormatBytes(const WAVEFORMATEXTENSIBLE& format, size_t size) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&format);
    return std::vector<BYTE>(p, p + size);
}

inline WAVEFORMATEXTENSIBLE ExtensiblePcm(DWORD rate, WORD bits, WORD validBits,
                                          WORD channels = 2) {
    WAVEFORMATEXTENSIBLE format = {};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = validBits;
    format.dwChannelMask = channels == 2 ? 3 : 0x3F;
    format.SubFormat = {
        0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    return format;
}
