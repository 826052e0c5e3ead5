// The notification client, the notifier and the page's callback against a service that keeps to
// the strictest reading of its contract: it takes no reference on the client (or, as Windows
// Vista's documentation says, one while it is registered), does not wait for a call under way
// when the client is unregistered, and calls from several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/EndpointNotifier.h"
#include "page/DeviceCallback.h"
#include "page/EndpointCallbacks.h"
#include "page/HalvoPageSoundRoom.h"
#include "tests/page/PageFixture.h"

namespace {

using sim::audio::AudioService;
namespace op = sim::audio::op;

// A receiver whose calls can be held: each call counts itself in, then waits until let go.
class HeldCallbacks : public CEndpointCallbacks {
public:
    HeldCallbacks()
        : m_entered(::CreateSemaphoreW(nullptr, 0, 100000, nullptr)),
          m_letGo(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}
    ~HeldCallbacks() override {
        ::CloseHandle(m_entered);
        ::CloseHandle(m_letGo);
    }
    void OnEndpointPropertyChanged(const PROPERTYKEY*) override {
        ++calls;
        ::ReleaseSemaphore(m_entered, 1, nullptr);
        ::WaitForSingleObject(m_letGo, INFINITE);
    }
    void Hold() { ::ResetEvent(m_letGo); }
    void LetGo() { ::SetEvent(m_letGo); }
    bool Entered() { return ::WaitForSingleObject(m_entered, 5000) == WAIT_OBJECT_0; }

    std::atomic<int> calls{0};

private:
    HANDLE m_entered, m_letGo;
};

constexpr wchar_t kId[] = L"{0.0.0.00000000}.{abc}";

// The page leaving the list, and shutdown cutting the client off, each wait for a walk of the
// list that a service thread has begun; neither may end while the walk can still reach them.
TEST(NotifierLifetime, LeavingTheListAndTheCutOffWaitForAWalkInFlight) {
    const std::pair<const char*,
                    std::function<void(CEndpointNotifier&, CDeviceCallback&, CEndpointCallbacks&)>>
        ends[] = {
            {"RemoveEndpointCallback",
             [](CEndpointNotifier& n, CDeviceCallback&, CEndpointCallbacks& c) {
                 RemoveEndpointCallback(&n, &c);
             }},
            {"CutOff", [](CEndpointNotifier&, CDeviceCallback& client,
                          CEndpointCallbacks&) { client.CutOff(); }},
        };
    for (const auto& entry : ends) {
        const char* name = entry.first;
        const auto& end = entry.second;  // named, not bound: a thread below calls it
        CEndpointNotifier notifier = {};
        SetNotifierEndpoint(&notifier, kId);
        HeldCallbacks held;
        held.Hold();
        AddEndpointCallback(&notifier, &held);
        auto* client = new CDeviceCallback(&notifier);
        std::thread service([&] { client->OnPropertyValueChanged(kId, keys::NaturalBass); });
        ASSERT_TRUE(held.Entered()) << name;

        std::atomic<bool> ended{false};
        std::thread ending([&] {
            end(notifier, *client, held);
            ended = true;
        });
        ::Sleep(200);
        EXPECT_FALSE(ended.load()) << name << " returned while the walk was still in the list";
        held.LetGo();
        ending.join();
        service.join();
        EXPECT_TRUE(ended.load()) << name;
        // Whichever way it ended, a later call reaches nobody.
        int calls = held.calls;
        client->OnPropertyValueChanged(kId, keys::NaturalBass);
        if (std::string(name) == "CutOff") {
            EXPECT_EQ(calls, held.calls.load()) << name;
        } else {
            EXPECT_EQ(0, notifier.callbackCount) << name;
            EXPECT_EQ(calls, held.calls.load()) << name;
        }
        EXPECT_EQ(0u, client->Release()) << name;
    }
}

// Start-up ends while a service thread is inside the client, walking the notifier's list: the
// shutdown waits for it, and once start-up has returned no service thread reaches the client,
// the ended notifier or the deleted callback, however the unregistration went.
class ShutdownWithACallInFlight : public PageTest {
protected:
    // Runs start-up with a held receiver in the notifier's list. As shutdown unregisters the
    // client, a change is being walked and held there; it is let go a while after. Returns
    // whether start-up returned only after that.
    bool RunWithAWalkInFlight(HeldCallbacks& held, const std::function<void()>& meanwhile) {
        std::atomic<DWORD> letGoAt{0};
        std::thread letting;
        sim->SetCallObserver([&](const char* operation) {
            if (std::string(operation) != op::UnregisterCallback || letting.joinable()) {
                return;
            }
            held.Hold();
            sim->Notify(kLaptopSpeakers, keys::ModeWord);
            EXPECT_TRUE(held.Entered());
            letting = std::thread([&] {
                ::Sleep(300);
                letGoAt = ::GetTickCount();
                held.LetGo();
            });
        });
        RunPage([&](HWND, HWND) {
            ASSERT_NE(nullptr, g_pEndpointCallbacks);
            ASSERT_TRUE(AddEndpointCallback(g_pEndpointCallbacks->page->m_pNotifier, &held));
            meanwhile();
        });
        DWORD returnedAt = ::GetTickCount();
        sim->SetCallObserver(nullptr);
        if (letting.joinable()) {
            letting.join();
        }
        held.LetGo();
        return letGoAt != 0 && returnedAt >= letGoAt;
    }

    // Changes told after start-up has returned.
    void NotifyAfterwards() {
        for (const PROPERTYKEY& key : {keys::NaturalBass, keys::ModeWord, keys::JackChange}) {
            sim->Notify(kLaptopSpeakers, key);
        }
        sim->FlushNotifications();
    }
};

TEST_F(ShutdownWithACallInFlight, WaitsForItAndLeavesNothingToReach) {
    for (auto references : {AudioService::ClientReferences::NotTaken,
                            AudioService::ClientReferences::TakenWhileRegistered}) {
        sim->SetClientReferences(references);
        HeldCallbacks held;
        EXPECT_TRUE(RunWithAWalkInFlight(held, [] {}))
            << "start-up returned while a service thread was still walking its list";
        EXPECT_EQ(nullptr, g_pEndpointCallbacks);
        EXPECT_EQ(0, sim->RegisteredClients());
        int calls = held.calls;
        NotifyAfterwards();
        EXPECT_EQ(calls, held.calls.load());
    }
}

// A client the service would not let go is still called after start-up has returned: it must
// touch nothing of start-up's, and must not have been freed.
TEST_F(ShutdownWithACallInFlight, AClientTheServiceKeepsStaysAliveAndCutOff) {
    for (auto references : {AudioService::ClientReferences::NotTaken,
                            AudioService::ClientReferences::TakenWhileRegistered}) {
        sim->SetClientReferences(references);
        HeldCallbacks held;
        EXPECT_TRUE(
            RunWithAWalkInFlight(held, [&] { sim->FailOn(op::UnregisterCallback, E_FAIL); }));
        sim->ClearFailures();
        std::vector<IMMNotificationClient*> kept = sim->Clients();
        ASSERT_EQ(1u, kept.size());
        auto* client = static_cast<CDeviceCallback*>(kept[0]);
        EXPECT_EQ(nullptr, client->owner);
        EXPECT_GE(client->refCount, 1) << "the program let go of a client the service still calls";
        int calls = held.calls;
        NotifyAfterwards();
        EXPECT_EQ(calls, held.calls.load());
        sim->DropClients();
    }
}

}  // namespace
