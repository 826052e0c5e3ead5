// The notification half of the audio service: its clients and the threads that call them.
#include <algorithm>

#include "sim/audio/AudioService.h"

namespace sim::audio {
namespace {

// A wait shorter than the scheduler's tick: the thread keeps its processor.
void SpinFor(std::chrono::microseconds wait) {
    auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        YieldProcessor();
    }
}

}  // namespace

void AudioService::Notify(const std::wstring& id, const PROPERTYKEY& key) {
    {
        std::lock_guard<SlimLock> lock(m_mutex);
        m_queue.emplace_back(id, key);
    }
    m_notifyWake.notify_one();
}

void AudioService::SetClientReferences(ClientReferences references) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_clientReferences = references;
}

void AudioService::SetLateCalls(LateCalls lateCalls) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_lateCalls = lateCalls;
}

HRESULT AudioService::RegisterClient(IMMNotificationClient* client) {
    bool referenced;
    {
        std::lock_guard<SlimLock> lock(m_mutex);
        referenced = m_clientReferences == ClientReferences::TakenWhileRegistered;
    }
    if (referenced) {
        client->AddRef();
    }
    std::lock_guard<SlimLock> lock(m_mutex);
    m_clients.push_back({client, referenced});
    return S_OK;
}

// A call into the client that is under way on a service thread goes on after this returns. The
// service only waits until the calls it had decided on have been handed over, so that no call
// begins once this has returned; a call that unregisters its own client waits for nothing.
HRESULT AudioService::UnregisterClient(IMMNotificationClient* client) {
    Client found;
    {
        std::unique_lock<SlimLock> lock(m_mutex);
        auto entry = std::find_if(m_clients.begin(), m_clients.end(),
                                  [&](const Client& c) { return c.client == client; });
        if (entry == m_clients.end()) {
            return E_NOTFOUND;
        }
        found = *entry;
        m_clients.erase(entry);
        for (;;) {
            if (m_lateCalls == LateCalls::MayFollow) {
                break;
            }
            auto handedOver = std::chrono::steady_clock::time_point::min();
            for (const CallUnderWay& call : m_callsUnderWay) {
                if (call.client == client && call.thread != GetCurrentThreadId()) {
                    handedOver = std::max(handedOver, call.decided + kHandOver);
                }
            }
            if (handedOver <= std::chrono::steady_clock::now()) {
                break;
            }
            m_notifyIdle.wait_until(lock, handedOver);
        }
    }
    if (found.referenced) {
        found.client->Release();
    }
    return S_OK;
}

bool AudioService::IsRegistered(IMMNotificationClient* client) const {
    return std::any_of(m_clients.begin(), m_clients.end(),
                       [&](const Client& c) { return c.client == client; });
}

int AudioService::RegisteredClients() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return static_cast<int>(m_clients.size());
}

std::vector<IMMNotificationClient*> AudioService::Clients() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    std::vector<IMMNotificationClient*> clients;
    for (const Client& c : m_clients) {
        clients.push_back(c.client);
    }
    return clients;
}

int AudioService::CallsInProgress() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return static_cast<int>(m_callsUnderWay.size());
}

void AudioService::DropClients() {
    std::vector<Client> dropped;
    {
        std::lock_guard<SlimLock> lock(m_mutex);
        dropped.swap(m_clients);
    }
    for (const Client& c : dropped) {
        if (c.referenced) {
            c.client->Release();
        }
    }
}

void AudioService::FlushNotifications() {
    std::unique_lock<SlimLock> lock(m_mutex);
    m_notifyIdle.wait(lock, [&] {
        return (m_queue.empty() && m_deliveriesInProgress == 0) ||
               m_deliverersDone == kDeliveryThreads;
    });
}

std::vector<Notification> AudioService::Notifications() {
    FlushNotifications();
    std::lock_guard<SlimLock> lock(m_mutex);
    return m_delivered;
}

// One of the service's delivery threads: each change goes to every client registered when its
// turn comes, never on the writer's thread. The threads take changes as they come, so the calls
// of successive changes overlap; the service holds no reference on a client while it calls it.
void AudioService::DeliverNotifications() {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::unique_lock<SlimLock> lock(m_mutex);
    for (;;) {
        m_notifyWake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            break;
        }
        auto [id, key] = m_queue.front();
        m_queue.pop_front();
        ++m_deliveriesInProgress;
        std::vector<IMMNotificationClient*> clients;
        for (const Client& c : m_clients) {
            clients.push_back(c.client);
        }
        for (IMMNotificationClient* client : clients) {
            if (!IsRegistered(client)) {
                continue;  // unregistered meanwhile
            }
            CallUnderWay call{client, GetCurrentThreadId(), std::chrono::steady_clock::now()};
            m_callsUnderWay.push_back(call);
            unsigned delay = 0;
            if (m_lateCalls == LateCalls::MayFollow) {
                delay = m_lateCallDelay;
                m_lateCallDelay = (m_lateCallDelay + 7) % 60;
            }
            lock.unlock();
            SpinFor(std::chrono::microseconds(delay));
            client->OnPropertyValueChanged(id.c_str(), key);
            lock.lock();
            std::erase_if(m_callsUnderWay, [&](const CallUnderWay& c) {
                return c.thread == call.thread && c.client == call.client;
            });
            m_notifyIdle.notify_all();
        }
        m_delivered.push_back({id, key, GetCurrentThreadId()});
        --m_deliveriesInProgress;
        m_notifyIdle.notify_all();
    }
    ++m_deliverersDone;
    m_notifyIdle.notify_all();
    lock.unlock();
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
}

}  // namespace sim::audio
