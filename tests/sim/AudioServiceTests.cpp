// The stand-in must behave as the system expects of the Windows audio service, and its checks
// must be able to fail: these tests hold it to both.
#include <gtest/gtest.h>

#include <windows.h>
#include <functiondiscoverykeys_devpkey.h>

#include <mutex>
#include <utility>

#include "framework/CCoTaskMemString.h"
#include "framework/CComPtr.h"
#include "framework/CPropVariant.h"
#include "sim/audio/ComponentIds.h"
#include "sim/platform/WindowsVersion.h"
#include "tests/support/SimAudioTest.h"

namespace {

namespace op = sim::audio::op;
using sim::audio::Store;
using sim::audio::Value;

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{11111111-2222-3333-4444-555555555555}";
constexpr PROPERTYKEY kWordKey = {
    {0x50AF0471, 0x7191, 0x47DD, {0xAB, 0x4B, 0x8A, 0xF4, 0xF2, 0x74, 0x2F, 0xE3}}, 0};

// A notification client that records what reaches it.
class RecordingClient final : public IMMNotificationClient {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(IMMNotificationClient))) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow, ERole, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR id, const PROPERTYKEY key) override {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back({id, key, GetCurrentThreadId()});
        return S_OK;
    }

    std::atomic<ULONG> refs{1};
    std::mutex mutex;
    std::vector<sim::audio::Notification> calls;
};

class AudioService : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        sim->AddEndpoint(kId);
        ASSERT_EQ(Hr(S_OK), Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                IID_IMMDeviceEnumerator,
                                                reinterpret_cast<void**>(&enumerator))));
    }
    void TearDown() override {
        enumerator.Release();
        SimAudioTest::TearDown();
    }

    // A write through the Windows 7 configuration object, called by its slot.
    HRESULT WriteFxWord(DWORD word) {
        CComPtr<IUnknown> config;
        HRESULT hr =
            CoCreateInstance(sim::audio::kEndpointConfigClass7, nullptr, CLSCTX_ALL,
                             sim::audio::kEndpointConfig7, reinterpret_cast<void**>(&config));
        if (FAILED(hr)) {
            return hr;
        }
        using Write =
            HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LPCWSTR, int, const PROPERTYKEY*, PROPVARIANT*);
        auto vtable = *reinterpret_cast<void* const* const*>(config.Get());
        CPropVariant value;
        value.SetUInt32(word);
        return reinterpret_cast<Write>(vtable[sim::audio::kWritePropertySlot7])(
            config.Get(), kId, 1, &kWordKey, value.Get());
    }

    // The id and state of every device an enumeration pass lists, in order.
    std::vector<std::pair<std::wstring, DWORD>> List(EDataFlow flow, DWORD mask) {
        std::vector<std::pair<std::wstring, DWORD>> listed;
        CComPtr<IMMDeviceCollection> collection;
        EXPECT_EQ(Hr(S_OK), Hr(enumerator->EnumAudioEndpoints(flow, mask, &collection)));
        UINT count = 0;
        if (collection) {
            EXPECT_EQ(Hr(S_OK), Hr(collection->GetCount(&count)));
        }
        for (UINT i = 0; i < count; ++i) {
            CComPtr<IMMDevice> device;
            CCoTaskMemString id;
            DWORD state = 0;
            EXPECT_EQ(Hr(S_OK), Hr(collection->Item(i, &device)));
            EXPECT_EQ(Hr(S_OK), Hr(device->GetId(&id)));
            EXPECT_EQ(Hr(S_OK), Hr(device->GetState(&state)));
            listed.emplace_back(id.Get(), state);
        }
        return listed;
    }

    sim::ScopedWindowsVersion windows7{6, 1};
    CComPtr<IMMDeviceEnumerator> enumerator;
};

TEST_F(AudioService, AcceptedWritesReachEveryClientOnTheServicesOwnThread) {
    RecordingClient first, second;
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&first)));
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&second)));

    ASSERT_EQ(Hr(S_OK), Hr(WriteFxWord(0x80003513)));
    sim->FailOn(op::WriteEndpointProperty, E_FAIL, 1);
    ASSERT_EQ(Hr(E_FAIL), Hr(WriteFxWord(0x80003213)));
    ASSERT_EQ(1u, sim->Notifications().size());

    for (RecordingClient* client : {&first, &second}) {
        ASSERT_EQ(1u, client->calls.size());
        EXPECT_EQ(kId, client->calls[0].endpointId);
        EXPECT_TRUE(IsEqualPropertyKey(kWordKey, client->calls[0].key));
        EXPECT_NE(GetCurrentThreadId(), client->calls[0].threadId);
    }

    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&first)));
    ASSERT_EQ(Hr(S_OK), Hr(WriteFxWord(0x80003313)));
    sim->Notifications();
    EXPECT_EQ(1u, first.calls.size());
    EXPECT_EQ(2u, second.calls.size());
    EXPECT_EQ(Hr(E_NOTFOUND), Hr(enumerator->UnregisterEndpointNotificationCallback(&first)));
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&second)));
}

TEST_F(AudioService, AWriteShowsThroughAStoreOpenedBefore) {
    CComPtr<IMMDevice> device;
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kId, &device)));
    CComPtr<IUnknown> accessor;
    ASSERT_EQ(Hr(S_OK), Hr(device.QueryInterface(sim::audio::kFxStoreAccess7, &accessor)));
    using Open = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, DWORD, IPropertyStore**);
    auto vtable = *reinterpret_cast<void* const* const*>(accessor.Get());
    CComPtr<IPropertyStore> store;
    ASSERT_EQ(Hr(S_OK), Hr(reinterpret_cast<Open>(vtable[sim::audio::kOpenFxStoreSlot])(
                            accessor.Get(), STGM_READ, &store)));

    ASSERT_EQ(Hr(S_OK), Hr(WriteFxWord(0x80003513)));
    CPropVariant value;
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(kWordKey, &value)));
    EXPECT_EQ(VT_UI4, value->vt);
    EXPECT_EQ(0x80003513u, value->ulVal);
}

TEST_F(AudioService, EachGenerationsComponentsAnswerOnlyOnTheirWindows) {
    CComPtr<IMMDevice> device;
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kId, &device)));
    CComPtr<IUnknown> object;
    EXPECT_EQ(Hr(S_OK), Hr(device.QueryInterface(sim::audio::kFxStoreAccess7, &object)));
    EXPECT_EQ(Hr(E_NOINTERFACE),
              Hr(device.QueryInterface(sim::audio::kFxStoreAccessVista, &object)));
    EXPECT_EQ(
        Hr(REGDB_E_CLASSNOTREG),
        Hr(CoCreateInstance(sim::audio::kEndpointConfigClassVista, nullptr, CLSCTX_ALL,
                            sim::audio::kEndpointConfigVista, reinterpret_cast<void**>(&object))));
    {
        sim::ScopedWindowsVersion vista(6, 0);
        EXPECT_EQ(Hr(S_OK), Hr(device.QueryInterface(sim::audio::kFxStoreAccessVista, &object)));
        EXPECT_EQ(Hr(E_NOINTERFACE),
                  Hr(device.QueryInterface(sim::audio::kFxStoreAccess7, &object)));
        EXPECT_EQ(Hr(S_OK), Hr(CoCreateInstance(sim::audio::kEndpointConfigClassVista, nullptr,
                                                CLSCTX_ALL, sim::audio::kEndpointConfigVista,
                                                reinterpret_cast<void**>(&object))));
    }
    {
        sim::ScopedWindowsVersion windows8(6, 2);
        EXPECT_EQ(Hr(E_NOINTERFACE),
                  Hr(device.QueryInterface(sim::audio::kFxStoreAccess7, &object)));
    }
}

TEST_F(AudioService, FailuresHitTheNthCallOfTheirOperationAndKey) {
    sim->FailOnKey(op::WriteEndpointProperty, kWordKey, E_ACCESSDENIED, 2);
    EXPECT_EQ(Hr(S_OK), Hr(WriteFxWord(1)));
    EXPECT_EQ(Hr(E_ACCESSDENIED), Hr(WriteFxWord(2)));
    EXPECT_EQ(Hr(S_OK), Hr(WriteFxWord(3)));
    EXPECT_EQ(3, sim->Calls(op::WriteEndpointProperty));

    auto writes = sim->Writes();
    ASSERT_EQ(3u, writes.size());
    EXPECT_EQ(Hr(E_ACCESSDENIED), Hr(writes[1].result));
    EXPECT_EQ(Value::UInt32(2), writes[1].value);
    EXPECT_EQ(Value::UInt32(3), *sim->Property(Store::Fx, kId, kWordKey));
}

TEST_F(AudioService, EnumerationFollowsFlowAndStateMask) {
    sim->AddEndpoint(L"unplugged", eRender, DEVICE_STATE_UNPLUGGED);
    sim->AddEndpoint(L"microphone", eCapture, DEVICE_STATE_ACTIVE);
    sim->AddEndpoint(L"disabled microphone", eCapture, DEVICE_STATE_DISABLED);
    sim->AddEndpoint(L"removed microphone", eCapture, DEVICE_STATE_NOTPRESENT);
    struct Case {
        EDataFlow flow;
        DWORD mask;
        UINT count;
    };
    for (Case c : {Case{eRender, DEVICE_STATE_ACTIVE, 1}, Case{eRender, DEVICE_STATEMASK_ALL, 2},
                   Case{eCapture, DEVICE_STATE_ACTIVE, 1},
                   Case{eCapture, DEVICE_STATE_DISABLED | DEVICE_STATE_NOTPRESENT, 2},
                   Case{eAll, DEVICE_STATE_UNPLUGGED | DEVICE_STATE_NOTPRESENT, 2},
                   Case{eAll, DEVICE_STATEMASK_ALL, 5}}) {
        CComPtr<IMMDeviceCollection> collection;
        ASSERT_EQ(Hr(S_OK), Hr(enumerator->EnumAudioEndpoints(c.flow, c.mask, &collection)));
        UINT count = 0;
        EXPECT_EQ(Hr(S_OK), Hr(collection->GetCount(&count)));
        EXPECT_EQ(c.count, count) << c.flow << " " << c.mask;
    }
    CComPtr<IMMDeviceCollection> collection;
    EXPECT_EQ(Hr(E_INVALIDARG), Hr(enumerator->EnumAudioEndpoints(eRender, 0x10, &collection)));
}

// The same id twice in a pass: both listings are the one endpoint the id names.
TEST_F(AudioService, AnIdListedTwiceIsOneEndpoint) {
    sim->AddEndpoint(kId);
    sim->AddEndpoint(kId, eCapture);
    sim->SetProperty(Store::Endpoint, kId, PKEY_Device_FriendlyName, Value::String(L"Speakers"));
    EXPECT_EQ(2u, List(eRender, DEVICE_STATE_ACTIVE).size());
    auto all = List(eAll, DEVICE_STATE_ACTIVE);
    ASSERT_EQ(3u, all.size());
    for (const auto& [id, state] : all) {
        EXPECT_EQ(kId, id);
    }

    CComPtr<IMMDevice> device;
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kId, &device)));
    CComPtr<IPropertyStore> store;
    ASSERT_EQ(Hr(S_OK), Hr(device->OpenPropertyStore(STGM_READ, &store)));
    CPropVariant name;
    ASSERT_EQ(Hr(S_OK), Hr(store->GetValue(PKEY_Device_FriendlyName, &name)));
    EXPECT_STREQ(L"Speakers", name->pwszVal);

    // A state change reaches every listing, so no pass lists the id in a state it does not have.
    sim->SetEndpointState(kId, DEVICE_STATE_UNPLUGGED);
    EXPECT_EQ(0u, List(eAll, DEVICE_STATE_ACTIVE).size());
    for (const auto& [id, state] : List(eAll, DEVICE_STATE_UNPLUGGED)) {
        EXPECT_EQ(DWORD{DEVICE_STATE_UNPLUGGED}, state);
    }
    sim->RemoveEndpoint(kId);
    EXPECT_EQ(0u, List(eAll, DEVICE_STATEMASK_ALL).size());
    EXPECT_EQ(Hr(E_NOTFOUND), Hr(enumerator->GetDevice(kId, &device)));
}

TEST_F(AudioService, IdsAreCoTaskMemBlocksTheSpySees) {
    CComPtr<IMMDevice> device;
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kId, &device)));
    size_t before = sim::audio::LiveCoTaskMemBlocks();
    CCoTaskMemString id;
    ASSERT_EQ(Hr(S_OK), Hr(device->GetId(&id)));
    EXPECT_STREQ(kId, id.Get());
    EXPECT_EQ(before + 1, sim::audio::LiveCoTaskMemBlocks());
    id.Free();
    EXPECT_EQ(before, sim::audio::LiveCoTaskMemBlocks());
}

// Without the fixture: these leave things behind on purpose.
TEST(AudioServiceChecks, ReportWhatATestLeavesBehind) {
    auto service = sim::audio::AudioService::Start();
    service->AddEndpoint(kId);
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    ASSERT_EQ(Hr(S_OK),
              Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator))));
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->GetDevice(kId, &device)));
    RecordingClient client;
    enumerator->RegisterEndpointNotificationCallback(&client);
    enumerator->Release();

    service->Stop();
    std::string report = sim::audio::DescribeLeftovers(*service);
    EXPECT_NE(std::string::npos, report.find("Device 1")) << report;
    EXPECT_NE(std::string::npos, report.find("1 notification client(s)")) << report;
    device->Release();
    service.reset();
    EXPECT_EQ(1u, client.refs.load());  // the stopped service let go of its reference
}

TEST(AudioServiceChecks, ReportCallsOfSlotsNoCallerShouldUse) {
    sim::ScopedWindowsVersion vista(6, 0);
    auto service = sim::audio::AudioService::Start();
    IUnknown* config = nullptr;
    ASSERT_EQ(Hr(S_OK), Hr(CoCreateInstance(sim::audio::kEndpointConfigClassVista, nullptr,
                                            CLSCTX_ALL, sim::audio::kEndpointConfigVista,
                                            reinterpret_cast<void**>(&config))));
    using Call = HRESULT(STDMETHODCALLTYPE*)(IUnknown*);
    auto vtable = *reinterpret_cast<void* const* const*>(config);
    // Slot 12 is Windows 7's WriteEndpointProperty; on the Vista object it is nothing.
    EXPECT_EQ(Hr(E_NOTIMPL), Hr(reinterpret_cast<Call>(vtable[12])(config)));
    config->Release();
    service->Stop();
    EXPECT_EQ("call of unimplemented slot 12 of EndpointConfig",
              sim::audio::DescribeLeftovers(*service));
}

}  // namespace
