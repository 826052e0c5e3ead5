#include "sim/audio/AudioService.h"

#include <mmreg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/audio/ClassFactory.h"
#include "sim/audio/LiveObjects.h"
#include "sim/platform/CallSweep.h"
#include "sim/platform/Locks.h"

namespace sim::audio {
namespace {

sim::SlimLock g_currentMutex;
std::weak_ptr<AudioService> g_current;

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

// The bytes a WAVEFORMATEX occupies, as the service reads them: the header and cbSize more, at
// most the 22 bytes of a WAVEFORMATEXTENSIBLE's tail. A longer claim is refused unread.
constexpr WORD kMaxFormatExtra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

// An operation as the call sweep lists it: with its key, when it has one, as the format id's
// first field and the property id.
std::string SweepName(const char* operation, const PROPERTYKEY* key) {
    std::string name = operation;
    if (key) {
        char text[32];
        std::snprintf(text, sizeof text, " {%08lX},%lu",
                      static_cast<unsigned long>(key->fmtid.Data1),
                      static_cast<unsigned long>(key->pid));
        name += text;
    }
    return name;
}

}  // namespace

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
        std::lock_guard<std::mutex> lock(m_mutex);
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
    std::lock_guard<std::mutex> lock(m_mutex);
    m_endpoints.push_back(Endpoint{id, flow, state, {}, {}});
}

void AudioService::RemoveEndpoint(const std::wstring& id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase_if(m_endpoints, [&](const Endpoint& e) { return e.id == id; });
}

// Every listing of the id, so that a device from any pass reports the state the pass chose it by.
void AudioService::SetEndpointState(const std::wstring& id, DWORD state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Endpoint& endpoint : m_endpoints) {
        if (endpoint.id == id) {
            endpoint.state = state;
        }
    }
}

void AudioService::SetConnectorCount(const std::wstring& id, UINT count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        endpoint->topology.connectorCount = count;
    }
}

void AudioService::SetJack(const std::wstring& id, const KSJACK_DESCRIPTION& jack, UINT jackCount) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        endpoint->topology.jack = jack;
        endpoint->topology.jackCount = jackCount;
    }
}

void AudioService::SetProperty(Store store, const std::wstring& id, const PROPERTYKEY& key,
                               Value value) {
    std::lock_guard<std::mutex> lock(m_mutex);
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
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Endpoint* endpoint = Find(id)) {
        std::erase_if(endpoint->properties[static_cast<int>(store)],
                      [&](const auto& entry) { return SameKey(entry.first, key); });
    }
}

std::optional<Value> AudioService::Property(Store store, const std::wstring& id,
                                            const PROPERTYKEY& key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
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
    std::lock_guard<std::mutex> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    return endpoint ? endpoint->properties[static_cast<int>(store)]
                    : std::vector<std::pair<PROPERTYKEY, Value>>{};
}

void AudioService::ChangeFromOutside(Store store, const std::wstring& id, const PROPERTYKEY& key,
                                     Value value) {
    Commit(WriteOrigin::OutsideProgram, 0, store, id, key, std::move(value), S_OK);
}

void AudioService::SetWriteObserver(std::function<void(const WriteRecord&)> observer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writeObserver = std::move(observer);
}

void AudioService::SetFxHandleWritable(bool writable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fxHandleWritable = writable;
}

bool AudioService::FxHandleWritable() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fxHandleWritable;
}

void AudioService::FailOn(const char* operation, HRESULT result, int nth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back({operation, std::nullopt, result, false, nth, 0});
}

void AudioService::FailOnKey(const char* operation, const PROPERTYKEY& key, HRESULT result,
                             int nth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back({operation, key, result, false, nth, 0});
}

void AudioService::SucceedWithNull(const char* operation, int nth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back({operation, std::nullopt, S_OK, true, nth, 0});
}

void AudioService::ClearFailures() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.clear();
}

int AudioService::Calls(const char* operation) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [name, count] : m_calls) {
        if (name == operation) {
            return count;
        }
    }
    return 0;
}

void AudioService::SetCallObserver(std::function<void(const char*)> observer) {
    std::lock_guard<std::mutex> lock(m_callObserverMutex);
    m_callObserver = std::move(observer);
}

AudioService::Outcome AudioService::Enter(const char* operation, const PROPERTYKEY* key,
                                          Offers offers) {
    std::function<void(const char*)> observer;
    {
        std::lock_guard<std::mutex> lock(m_callObserverMutex);
        observer = m_callObserver;
    }
    if (observer) {
        observer(operation);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    auto call = std::find_if(m_calls.begin(), m_calls.end(),
                             [&](const auto& entry) { return entry.first == operation; });
    if (call == m_calls.end()) {
        m_calls.emplace_back(operation, 1);
    } else {
        ++call->second;
    }
    Outcome outcome{S_OK, false, false};
    if (call_sweep::Active()) {
        switch (call_sweep::AnswerFor(SweepName(operation, key),
                                      offers == Offers::Unusable
                                          ? call_sweep::Offer::FailureOrUnusable
                                          : call_sweep::Offer::FailureOnly)) {
            case call_sweep::Answer::Failure: outcome.result = E_FAIL; break;
            case call_sweep::Answer::Unusable: outcome.unusable = true; break;
            case call_sweep::Answer::Ordinary: break;
        }
    }
    for (FailureRule& rule : m_failures) {
        if (rule.operation != operation || (rule.key && (!key || !SameKey(*rule.key, *key)))) {
            continue;
        }
        ++rule.seen;
        if (rule.nth == 0 || rule.nth == rule.seen) {
            outcome = {rule.result, rule.null, false};
        }
    }
    return outcome;
}

bool AudioService::HasEndpoint(const std::wstring& id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Find(id) != nullptr;
}

std::vector<std::wstring> AudioService::EndpointIds(EDataFlow flow, DWORD stateMask) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::wstring> ids;
    for (const Endpoint& endpoint : m_endpoints) {
        if ((flow == eAll || endpoint.flow == flow) && (endpoint.state & stateMask)) {
            ids.push_back(endpoint.id);
        }
    }
    return ids;
}

bool AudioService::EndpointState(const std::wstring& id, DWORD* state) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    if (endpoint) {
        *state = endpoint->state;
    }
    return endpoint != nullptr;
}

bool AudioService::Topology(const std::wstring& id, EndpointTopology* topology) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Endpoint* endpoint = Find(id);
    if (endpoint) {
        *topology = endpoint->topology;
    }
    return endpoint != nullptr;
}

HRESULT AudioService::Write(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                            const PROPERTYKEY& key, const PROPVARIANT& value) {
    Value stored;
    HRESULT hr = Value::FromPropVariant(value, &stored);
    return Commit(origin, slot, store, id, key, std::move(stored), hr);
}

HRESULT AudioService::WriteFormat(WriteOrigin origin, int slot, const std::wstring& id,
                                  const WAVEFORMATEX* format) {
    if (format->cbSize > kMaxFormatExtra) {
        return Commit(origin, slot, Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat, Value(),
                      E_INVALIDARG);
    }
    return Commit(origin, slot, Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat,
                  Value::Blob(format, sizeof(WAVEFORMATEX) + format->cbSize), S_OK);
}

// Stores, logs and queues the notification in one step, so that the store, the log and the
// notifications agree on the order of writes from any threads.
HRESULT AudioService::Commit(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                             const PROPERTYKEY& key, Value value, HRESULT hr) {
    WriteRecord record;
    std::function<void(const WriteRecord&)> observer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Endpoint* endpoint = Find(id);
        if (SUCCEEDED(hr) && !endpoint) {
            hr = E_NOTFOUND;
        }
        if (SUCCEEDED(hr) && m_stopping) {
            m_unexpected.push_back("a write after the service stopped");
            hr = CO_E_SERVER_STOPPING;
        }
        if (SUCCEEDED(hr)) {
            Put(endpoint->properties[static_cast<int>(store)], key, value);
            m_queue.emplace_back(id, key);
        }
        m_writes.push_back({origin, slot, store, id, key, std::move(value), hr});
        if (SUCCEEDED(hr)) {
            record = m_writes.back();
            observer = m_writeObserver;
        }
    }
    if (SUCCEEDED(hr)) {
        m_notifyWake.notify_one();
        if (observer) {
            observer(record);
        }
    }
    return hr;
}

void AudioService::LogWrite(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                            const PROPERTYKEY& key, Value value, HRESULT result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.push_back({origin, slot, store, id, key, std::move(value), result});
}

std::vector<WriteRecord> AudioService::Writes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
}

void AudioService::ClearWrites() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.clear();
}

void AudioService::Unexpected(const std::string& what) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unexpected.push_back(what);
}

std::vector<std::string> AudioService::UnexpectedCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unexpected;
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
