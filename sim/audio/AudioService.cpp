#include "sim/audio/AudioService.h"

#include <algorithm>

#include "sim/audio/ClassFactory.h"
#include "sim/audio/LiveObjects.h"
#include "sim/platform/Locks.h"

namespace sim::audio {
namespace {

sim::SlimLock g_currentMutex;
std::weak_ptr<AudioService> g_current;

}  // namespace

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

AudioService::AudioService() = default;

std::shared_ptr<AudioService> AudioService::Start() {
    std::shared_ptr<AudioService> service(new AudioService());
    {
        std::lock_guard<sim::SlimLock> lock(g_currentMutex);
        g_current = service;
    }
    for (FactoryKind kind : {FactoryKind::DeviceEnumerator, FactoryKind::EndpointConfigVista,
                             FactoryKind::EndpointConfig7}) {
        IClassFactory* factory = NewClassFactory(service, kind);
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(FactoryClass(kind), factory, CLSCTX_INPROC_SERVER,
                                            REGCLS_MULTIPLEUSE, &cookie))) {
            service->m_registrations.push_back(cookie);
        } else {
            // Calls would reach Wine's own classes instead: make every test of it fail.
            service->Unexpected("class object not registered (is the thread in the MTA?)");
        }
        factory->Release();
    }
    for (int i = 0; i < kDeliveryThreads; ++i) {
        service->m_deliverers.emplace_back([raw = service.get()] { raw->DeliverNotifications(); });
    }
    return service;
}

std::shared_ptr<AudioService> AudioService::Current() {
    std::lock_guard<sim::SlimLock> lock(g_currentMutex);
    return g_current.lock();
}

AudioService::~AudioService() {
    Stop();
    DropClients();
}

void AudioService::Stop() {
    for (DWORD cookie : m_registrations) {
        CoRevokeClassObject(cookie);
    }
    m_registrations.clear();
    {
        std::lock_guard<SlimLock> lock(m_mutex);
        m_stopping = true;
    }
    m_notifyWake.notify_all();
    for (std::thread& deliverer : m_deliverers) {
        if (deliverer.joinable()) {
            deliverer.join();
        }
    }
}

void AudioService::AddEndpoint(const std::wstring& id, EDataFlow flow, DWORD state) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_endpoints.push_back(Endpoint{id, flow, state, {}, {}});
}

void AudioService::RemoveEndpoint(const std::wstring& id) {
    std::lock_guard<SlimLock> lock(m_mutex);
    std::erase_if(m_endpoints, [&](const Endpoint& e) { return e.id == id; });
}

// Every listing of the id, so that a device from any pass reports the state the pass chose it by.
void AudioService::SetEndpointState(const std::wstring& id, DWORD state) {
    std::lock_guard<SlimLock> lock(m_mutex);
    for (Endpoint& endpoint : m_endpoints) {
        if (endpoint.id == id) {
            endpoint.state = state;
        }
    }
}

void AudioService::SetConnectorCount(const std::wstring& id, UINT count) {
    std::lock_guard<SlimLock> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        endpoint->topology.connectorCount = count;
    }
}

void AudioService::SetJack(const std::wstring& id, const KSJACK_DESCRIPTION& jack, UINT jackCount) {
    std::lock_guard<SlimLock> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        endpoint->topology.jack = jack;
        endpoint->topology.jackCount = jackCount;
    }
}

void AudioService::SetProperty(Store store, const std::wstring& id, const PROPERTYKEY& key,
                               Value value) {
    std::lock_guard<SlimLock> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        Put(endpoint->properties[static_cast<int>(store)], key, std::move(value));
    }
}

void AudioService::Put(std::vector<std::pair<PROPERTYKEY, Value>>& properties,
                       const PROPERTYKEY& key, Value value) {
    for (auto& [k, v] : properties) {
        if (SameKey(k, key)) {
            v = std::move(value);
            return;
        }
    }
    properties.emplace_back(key, std::move(value));
}

void AudioService::RemoveProperty(Store store, const std::wstring& id, const PROPERTYKEY& key) {
    std::lock_guard<SlimLock> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        std::erase_if(endpoint->properties[static_cast<int>(store)],
                      [&](const auto& entry) { return SameKey(entry.first, key); });
    }
}

std::optional<Value> AudioService::Property(Store store, const std::wstring& id,
                                            const PROPERTYKEY& key) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    if (const Endpoint* endpoint = Find(id)) {
        for (const auto& [k, v] : endpoint->properties[static_cast<int>(store)]) {
            if (SameKey(k, key)) {
                return v;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::pair<PROPERTYKEY, Value>> AudioService::Properties(Store store,
                                                                    const std::wstring& id) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    return endpoint ? endpoint->properties[static_cast<int>(store)]
                    : std::vector<std::pair<PROPERTYKEY, Value>>{};
}

void AudioService::ChangeFromOutside(Store store, const std::wstring& id, const PROPERTYKEY& key,
                                     Value value) {
    Commit(WriteOrigin::OutsideProgram, 0, store, id, key, std::move(value), S_OK);
}

void AudioService::SetWriteObserver(std::function<void(const WriteRecord&)> observer) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_writeObserver = std::move(observer);
}

void AudioService::SetFxHandleWritable(bool writable) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_fxHandleWritable = writable;
}

bool AudioService::FxHandleWritable() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return m_fxHandleWritable;
}
bool AudioService::HasEndpoint(const std::wstring& id) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return Find(id) != nullptr;
}

std::vector<std::wstring> AudioService::EndpointIds(EDataFlow flow, DWORD stateMask) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    std::vector<std::wstring> ids;
    for (const Endpoint& endpoint : m_endpoints) {
        if ((flow == eAll || endpoint.flow == flow) && (endpoint.state & stateMask)) {
            ids.push_back(endpoint.id);
        }
    }
    return ids;
}

bool AudioService::EndpointState(const std::wstring& id, DWORD* state) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    if (endpoint) {
        *state = endpoint->state;
    }
    return endpoint != nullptr;
}

bool AudioService::Topology(const std::wstring& id, EndpointTopology* topology) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    if (endpoint) {
        *topology = endpoint->topology;
    }
    return endpoint != nullptr;
}
AudioService::Endpoint* AudioService::Find(const std::wstring& id) {
    for (Endpoint& endpoint : m_endpoints) {
        if (endpoint.id == id) {
            return &endpoint;
        }
    }
    return nullptr;
}

const AudioService::Endpoint* AudioService::Find(const std::wstring& id) const {
    return const_cast<AudioService*>(this)->Find(id);
}

std::string DescribeLeftovers(const AudioService& service) {
    std::string text = DescribeLiveObjects();
    if (!text.empty()) {
        text = "alive: " + text;
    }
    if (int clients = service.RegisteredClients()) {
        text += (text.empty() ? "" : "; ") + std::to_string(clients) +
                " notification client(s) still registered";
    }
    for (const std::string& call : service.UnexpectedCalls()) {
        text += (text.empty() ? "" : "; ") + call;
    }
    return text;
}

}  // namespace sim::audio
