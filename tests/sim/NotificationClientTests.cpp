// The service's side of a notification client's lifetime, held to the strictest reading of the
// platform's contract: the service neither keeps nor takes a reference, does not wait for a call
// under way, and calls from several threads at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "framework/CComPtr.h"
#include "tests/support/SimAudioTest.h"

namespace {

using sim::audio::AudioService;

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{8e0c4b51-2d1f-4e77-9a3c-5b6d7e8f9012}";
constexpr PROPERTYKEY kKey = {
    {0x50AF0471, 0x7191, 0x47DD, {0xAB, 0x4B, 0x8A, 0xF4, 0xF2, 0x74, 0x2F, 0xE3}}, 0};

// A client whose calls can be held: each call counts itself in, then waits until let go.
class HeldClient final : public IMMNotificationClient {
public:
    HeldClient()
        : entered(::CreateSemaphoreW(nullptr, 0, 1000, nullptr)),
          letGo(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}
    ~HeldClient() {
        ::CloseHandle(entered);
        ::CloseHandle(letGo);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
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
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        refsDuringCall = refs.load();
        ++inside;
        maxInside = std::max(maxInside.load(), inside.load());
        ++calls;
        ::ReleaseSemaphore(entered, 1, nullptr);
        ::WaitForSingleObject(letGo, INFINITE);
        --inside;
        return S_OK;
    }

    void Hold() { ::ResetEvent(letGo); }
    void Release_() { ::SetEvent(letGo); }
    bool Entered(DWORD milliseconds = 5000) {
        return ::WaitForSingleObject(entered, milliseconds) == WAIT_OBJECT_0;
    }

    HANDLE entered, letGo;
    std::atomic<ULONG> refs{1};
    std::atomic<ULONG> refsDuringCall{0};
    std::atomic<int> inside{0}, maxInside{0}, calls{0};
};

class NotificationClients : public SimAudioTest {
protected:
    void SetUp() override {
        SimAudioTest::SetUp();
        sim->AddEndpoint(kId);
        ASSERT_EQ(Hr(S_OK), Hr(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                                IID_IMMDeviceEnumerator,
                                                reinterpret_cast<void**>(&enumerator))));
    }
    void TearDown() override {
        client.Release_();
        sim->FlushNotifications();
        enumerator.Release();
        SimAudioTest::TearDown();
    }

    CComPtr<IMMDeviceEnumerator> enumerator;
    HeldClient client;
};

TEST_F(NotificationClients, ByDefaultNeitherCallTouchesTheClientsCount) {
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&client)));
    EXPECT_EQ(1u, client.refs.load());
    sim->Notify(kId, kKey);
    sim->FlushNotifications();
    EXPECT_EQ(1u, client.refsDuringCall.load()) << "the service held a reference while calling";
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&client)));
    EXPECT_EQ(1u, client.refs.load());
    EXPECT_EQ(Hr(E_POINTER), Hr(enumerator->RegisterEndpointNotificationCallback(nullptr)));
    EXPECT_EQ(Hr(E_NOTFOUND), Hr(enumerator->UnregisterEndpointNotificationCallback(&client)));
}

TEST_F(NotificationClients, TheOlderContractHoldsOneReferenceWhileRegistered) {
    sim->SetClientReferences(AudioService::ClientReferences::TakenWhileRegistered);
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&client)));
    EXPECT_EQ(2u, client.refs.load());
    sim->Notify(kId, kKey);
    sim->FlushNotifications();
    EXPECT_EQ(2u, client.refsDuringCall.load());
    EXPECT_EQ(Hr(E_FAIL), Hr([&] {
                  sim->FailOn(sim::audio::op::UnregisterCallback, E_FAIL, 1);
                  return enumerator->UnregisterEndpointNotificationCallback(&client);
              }()));
    EXPECT_EQ(2u, client.refs.load()) << "a refused unregistration keeps the service's reference";
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&client)));
    EXPECT_EQ(1u, client.refs.load());
}

TEST_F(NotificationClients, UnregistrationDoesNotWaitForACallUnderWay) {
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&client)));
    client.Hold();
    sim->Notify(kId, kKey);
    ASSERT_TRUE(client.Entered());
    // Returns while the call is still inside the client.
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&client)));
    EXPECT_EQ(1, client.inside.load());
    EXPECT_EQ(1, sim->CallsInProgress());
    // No new call begins once it has returned.
    sim->Notify(kId, kKey);
    client.Release_();
    sim->FlushNotifications();
    EXPECT_EQ(1, client.calls.load());
    EXPECT_EQ(0, sim->CallsInProgress());
}

TEST_F(NotificationClients, SeveralServiceThreadsCallOneClientAtOnce) {
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->RegisterEndpointNotificationCallback(&client)));
    client.Hold();
    for (int i = 0; i < 3; ++i) {
        sim->Notify(kId, kKey);
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.Entered()) << "call " << i << " did not come while the others waited";
    }
    EXPECT_EQ(3, client.inside.load());
    client.Release_();
    sim->FlushNotifications();
    EXPECT_EQ(3, client.maxInside.load());
    ASSERT_EQ(Hr(S_OK), Hr(enumerator->UnregisterEndpointNotificationCallback(&client)));
}

}  // namespace
