// The call sweep sees every outside call the stand-ins take, in order, and fails exactly the one
// it is told to, or has it succeed with an unusable answer, through whichever stand-in takes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

#include "framework/CComPtr.h"
#include "platform/Platform.h"
#include "sim/driver/CodecDriver.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/support/SimAudioTest.h"

namespace {

namespace call_sweep = sim::call_sweep;
using call_sweep::Variant;
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
    EXPECT_EQ("", call_sweep::AnsweredCall());
}

TEST_F(CallSweep, FailsExactlyTheKthCallAndNamesIt) {
    for (size_t k = 1; k <= 4; ++k) {
        call_sweep::StartFailing(k);
        EXPECT_EQ(Hr(E_FAIL), Hr(ReadWord())) << "call " << k;
        call_sweep::Stop();
        EXPECT_EQ(k, call_sweep::Calls().size()) << "the calls after the failed one were made";
        EXPECT_EQ(call_sweep::Calls().back(), call_sweep::AnsweredCall());
    }
    // Past the last call nothing fails.
    call_sweep::StartFailing(5);
    EXPECT_EQ(Hr(S_OK), Hr(ReadWord()));
    EXPECT_EQ("", call_sweep::AnsweredCall());
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
    EXPECT_EQ("CreateFileW", call_sweep::AnsweredCall());
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

// What a short walk through the service got with call k answered unusably: the service's own
// answers, one piece per step, up to the step that stopped it.
class UnusableAnswers : public CallSweep {
public:
    std::string ReadWordAnswering(size_t k) {
        call_sweep::StartAnswering(k, Variant::Unusable);
        std::string seen;
        CComPtr<IMMDeviceEnumerator> enumerator;
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator));
        CComPtr<IMMDevice> device;
        HRESULT hr = enumerator->GetDevice(kId, &device);
        if (!device) {
            return "device " + HrText(hr) + " null";
        }
        CComPtr<IPropertyStore> store;
        device->OpenPropertyStore(STGM_READ, &store);
        PROPVARIANT value;
        hr = store->GetValue(kWordKey, &value);
        seen = "value " + HrText(hr) + " vt " + std::to_string(value.vt) + " " +
               std::to_string(value.vt == VT_UI4 ? value.ulVal : 0);
        PropVariantClear(&value);
        return seen;
    }

    std::string ListAnswering(size_t k) {
        call_sweep::StartAnswering(k, Variant::Unusable);
        CComPtr<IMMDeviceEnumerator> enumerator;
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator));
        CComPtr<IMMDeviceCollection> collection;
        enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &collection);
        UINT count = 0;
        collection->GetCount(&count);
        if (count == 0) {
            return "count 0";
        }
        CComPtr<IMMDevice> device;
        collection->Item(0, &device);
        LPWSTR id = nullptr;
        device->GetId(&id);
        std::wstring idText = id ? id : L"(null)";
        CoTaskMemFree(id);
        DWORD state = 0;
        device->GetState(&state);
        return std::string(idText == kId ? "id same" : "id other") +
               (idText.empty() ? " empty" : "") + " state " + std::to_string(state);
    }

    static std::string HrText(HRESULT hr) {
        std::ostringstream text;
        text << Hr(hr);
        return text.str();
    }
};

TEST_F(UnusableAnswers, OnlyACallThatOffersOneSucceedsUnusablyAndTheRunIsToldOtherwise) {
    EXPECT_EQ("value 0x00000000 vt 19 7", ReadWordAnswering(1));
    EXPECT_EQ("CoCreateInstance(MMDeviceEnumerator) (which has no unusable answer)",
              call_sweep::AnsweredCall());
    std::vector<bool> offers;
    for (const call_sweep::Call& call : call_sweep::RecordedCalls()) {
        offers.push_back(call.offersUnusable);
    }
    EXPECT_EQ((std::vector<bool>{false, true, true, true}), offers);
}

TEST_F(UnusableAnswers, AreSuccessesThatCarryNothingUsable) {
    const struct {
        size_t k;
        std::string (UnusableAnswers::*walk)(size_t);
        const char* seen;
    } cases[] = {
        {2, &UnusableAnswers::ReadWordAnswering, "device 0x00000000 null"},
        {3, &UnusableAnswers::ReadWordAnswering, "value 0x00000000 vt 0 0"},  // an empty store
        {4, &UnusableAnswers::ReadWordAnswering, "value 0x00000000 vt 0 0"},
        {2, &UnusableAnswers::ListAnswering, "count 0"},  // an empty collection
        {3, &UnusableAnswers::ListAnswering, "count 0"},
        {4, &UnusableAnswers::ListAnswering, "id other state 4"},  // a removed endpoint
        {5, &UnusableAnswers::ListAnswering, "id other empty state 1"},
        {6, &UnusableAnswers::ListAnswering, "id same state 4"},
    };
    EXPECT_EQ("id same state 1", ListAnswering(0));
    for (const auto& c : cases) {
        EXPECT_EQ(c.seen, (this->*c.walk)(c.k)) << "call " << c.k;
        EXPECT_EQ(call_sweep::Calls()[c.k - 1], call_sweep::AnsweredCall());
        call_sweep::Stop();
    }
}

TEST_F(UnusableAnswers, OfTheDriverAndTheVersionQueryAreWhatWindowsMayGive) {
    sim::driver::ScopedCodecDriver driver;
    driver.AddInterface(L"\\\\?\\codec");
    sim::ScopedWindowsVersion windows7(6, 1);
    const GUID kClass = {
        0x5b2e0c71, 0x3a94, 0x4f16, {0xb8, 0xd3, 0x0e, 0x7c, 0x91, 0xa4, 0xf2, 0x58}};
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;

    // The class's set holds no interface.
    call_sweep::StartAnswering(1, Variant::Unusable);
    HDEVINFO set = platform::SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT);
    EXPECT_FALSE(platform::SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
    platform::SetupDiDestroyDeviceInfoList(set);

    // The size query succeeds with a size of 0.
    call_sweep::StartAnswering(3, Variant::Unusable);
    set = platform::SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_TRUE(platform::SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));
    DWORD size = 99;
    EXPECT_TRUE(platform::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr));
    EXPECT_EQ(0u, size);
    platform::SetupDiDestroyDeviceInfoList(set);

    // A control succeeds with no bytes and leaves the output as the caller had it.
    call_sweep::StartAnswering(2, Variant::Unusable);
    HANDLE device =
        platform::CreateFileW(L"\\\\?\\codec", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mask = 0xA5A5A5A5, returned = 99;
    EXPECT_TRUE(platform::DeviceIoControl(device, 0x001D6070, nullptr, 0, &mask, sizeof mask,
                                          &returned, nullptr));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(0xA5A5A5A5u, mask);
    platform::CloseHandle(device);

    // Windows 8 and later, to a program that does not declare them.
    call_sweep::StartAnswering(1, Variant::Unusable);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_TRUE(platform::GetVersionExW(&version));
    EXPECT_EQ(6u, version.dwMajorVersion);
    EXPECT_EQ(2u, version.dwMinorVersion);
    call_sweep::Stop();
    EXPECT_EQ("", driver.Leftovers());
}

TEST_F(CallSweep, AFailingTeardownCallStillEndsWhatItWasGiven) {
    sim::driver::ScopedCodecDriver driver;
    driver.AddInterface(L"\\\\?\\codec");
    call_sweep::StartCounting();
    HANDLE device =
        platform::CreateFileW(L"\\\\?\\codec", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    platform::CloseHandle(device);
    platform::SetupDiDestroyDeviceInfoList(platform::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"CreateFileW", "CloseHandle", "SetupDiCreateDeviceInfoList",
                                        "SetupDiDestroyDeviceInfoList spare"}),
              call_sweep::Calls());

    for (size_t k : {2, 4}) {
        call_sweep::StartFailing(k);
        device = platform::CreateFileW(L"\\\\?\\codec", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
        EXPECT_EQ(k != 2, !!platform::CloseHandle(device));
        HDEVINFO spare = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
        EXPECT_EQ(k != 4, !!platform::SetupDiDestroyDeviceInfoList(spare));
        EXPECT_EQ(0, driver.OpenHandles()) << "call " << k;
        EXPECT_EQ(0, driver.LiveDeviceInfoSets()) << "call " << k;
    }
    call_sweep::Stop();
    EXPECT_EQ("", driver.Leftovers());
}

}  // namespace
