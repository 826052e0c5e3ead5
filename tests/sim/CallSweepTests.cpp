// The call sweep sees every outside call the stand-ins take, in order, and fails exactly the one
// it is told to, through whichever stand-in takes it.
#include <gtest/gtest.h>

#include <windows.h>

#include "framework/CComPtr.h"
#include "platform/Platform.h"
#include "sim/driver/CodecDriver.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/support/SimAudioTest.h"

namespace {

namespace call_sweep = sim::call_sweep;
using sim::audio::Store;
using sim::audio::Value;

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555}";
constexpr PROPERTYKEY kWordKey = {
    {0x50AF0471, 0x7191, 0x47DD, {0xAB, 0x4B, 0x8A, 0xF4, 0xF2, 0x74, 0x2F, 0xE3}}, 0};

class CallSweep : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        sim->AddEndpoint(kId);
        sim->SetProperty(Store::Endpoint, kId, kWordKey, Value::UInt32(7));
    }
    void TearDown() override {
        call_sweep::Stop();
        SimAudioTest::TearDown();
    }

    // Creates an enumerator, gets the endpoint and reads the word from its own store: four
    // calls. Returns the first failure.
    HRESULT ReadWord() {
        CComPtr<IMMDeviceEnumerator> enumerator;
        HRESULT hr =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator));
        if (FAILED(hr)) {
            return hr;
        }
        CComPtr<IMMDevice> device;
        if (FAILED(hr = enumerator->GetDevice(kId, &device))) {
            return hr;
        }
        CComPtr<IPropertyStore> store;
        if (FAILED(hr = device->OpenPropertyStore(STGM_READ, &store))) {
            return hr;
        }
        PROPVARIANT value;
        hr = store->GetValue(kWordKey, &value);
        PropVariantClear(&value);
        return hr;
    }
};

TEST_F(CallSweep, CountsTheServicesCallsInOrderWithTheirKeysAndFailsNone) {
    call_sweep::StartCounting();
    EXPECT_EQ(Hr(S_OK), Hr(ReadWord()));
    call_sweep::Stop();
    EXPECT_EQ((std::vector<std::string>{
                  "CoCreateInstance(MMDeviceEnumerator)", "IMMDeviceEnumerator::GetDevice",
                  "IMMDevice::OpenPropertyStore", "EndpointStore::GetValue {50AF0471},0"}),
              call_sweep::Calls());
    EXPECT_EQ("", call_sweep::FailedCall());
}

TEST_F(CallSweep, FailsExactlyTheKthCallAndNamesIt) {
    for (size_t k = 1; k <= 4; ++k) {
        call_sweep::StartFailing(k);
        EXPECT_EQ(Hr(E_FAIL), Hr(ReadWord())) << "call " << k;
        call_sweep::Stop();
        EXPECT_EQ(k, call_sweep::Calls().size()) << "the calls after the failed one were made";
        EXPECT_EQ(call_sweep::Calls().back(), call_sweep::FailedCall());
    }
    // Past the last call nothing fails.
    call_sweep::StartFailing(5);
    EXPECT_EQ(Hr(S_OK), Hr(ReadWord()));
    EXPECT_EQ("", call_sweep::FailedCall());
}

TEST_F(CallSweep, StoppedItRecordsAndFailsNothing) {
    call_sweep::StartFailing(1);
    call_sweep::Stop();
    EXPECT_EQ(Hr(S_OK), Hr(ReadWord()));
    EXPECT_TRUE(call_sweep::Calls().empty());
}

TEST_F(CallSweep, FailsTheDriversStepsAndTheVersionQueryAsWindowsWould) {
    sim::driver::ScopedCodecDriver driver;
    driver.AddInterface(L"\\\\?\\codec");
    sim::ScopedWindowsVersion windows7(6, 1);

    call_sweep::StartFailing(2);
    HDEVINFO set = platform::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT);
    HANDLE device =
        platform::CreateFileW(L"\\\\?\\codec", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, device);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("CreateFileW", call_sweep::FailedCall());
    platform::SetupDiDestroyDeviceInfoList(set);

    call_sweep::StartFailing(1);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_FALSE(platform::GetVersionExW(&version));
    EXPECT_TRUE(platform::GetVersionExW(&version));
    EXPECT_EQ(6u, version.dwMajorVersion);
    EXPECT_EQ((std::vector<std::string>{"GetVersionExW", "GetVersionExW"}), call_sweep::Calls());
    call_sweep::Stop();
    EXPECT_EQ("", driver.Leftovers());
}

}  // namespace
