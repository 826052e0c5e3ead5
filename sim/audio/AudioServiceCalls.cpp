// How AudioService takes the program's calls: failures on demand, the count of calls, the writes
// and their log, and the calls out of place.
#include "sim/audio/AudioService.h"

#include <mmreg.h>

#include <algorithm>
#include <cstdio>

#include "sim/platform/CallSweep.h"

namespace sim::audio {
namespace {

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

void AudioService::FailOn(const char* operation, HRESULT result, int nth) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_failures.push_back({operation, std::nullopt, result, false, nth, 0});
}

void AudioService::FailOnKey(const char* operation, const PROPERTYKEY& key, HRESULT result,
                             int nth) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_failures.push_back({operation, key, result, false, nth, 0});
}

void AudioService::SucceedWithNull(const char* operation, int nth) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_failures.push_back({operation, std::nullopt, S_OK, true, nth, 0});
}

void AudioService::ClearFailures() {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_failures.clear();
}

int AudioService::Calls(const char* operation) const {
    std::lock_guard<SlimLock> lock(m_mutex);
    for (const auto& [name, count] : m_calls) {
        if (name == operation) {
            return count;
        }
    }
    return 0;
}

void AudioService::SetCallObserver(std::function<void(const char*)> observer) {
    std::lock_guard<SlimLock> lock(m_callObserverMutex);
    m_callObserver = std::move(observer);
}

AudioService::Outcome AudioService::Enter(const char* operation, const PROPERTYKEY* key,
                                          Offers offers) {
    std::function<void(const char*)> observer;
    {
        std::lock_guard<SlimLock> lock(m_callObserverMutex);
        observer = m_callObserver;
    }
    if (observer) {
        observer(operation);
    }
    std::lock_guard<SlimLock> lock(m_mutex);
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
HRESULT AudioService::Write(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                            const PROPERTYKEY& key, const PROPVARIANT& value) {
    Value stored;
    HRESULT hr = Value::FromPropVariant(value, &stored);
    return Commit(origin, slot, store, id, key, std::move(stored), hr);
}

Value AudioService::FormatValue(const WAVEFORMATEX* format) {
    if (!format) {
        return Value();
    }
    return Value::Blob(format, sizeof(WAVEFORMATEX) + std::min(format->cbSize, kMaxFormatExtra));
}

HRESULT AudioService::WriteFormat(WriteOrigin origin, int slot, const std::wstring& id,
                                  const WAVEFORMATEX* format) {
    return Commit(origin, slot, Store::Endpoint, id, PKEY_AudioEngine_DeviceFormat,
                  FormatValue(format), format->cbSize > kMaxFormatExtra ? E_INVALIDARG : S_OK);
}

// Stores, logs and queues the notification in one step, so that the store, the log and the
// notifications agree on the order of writes from any threads.
HRESULT AudioService::Commit(WriteOrigin origin, int slot, Store store, const std::wstring& id,
                             const PROPERTYKEY& key, Value value, HRESULT hr) {
    WriteRecord record;
    std::function<void(const WriteRecord&)> observer;
    {
        std::lock_guard<SlimLock> lock(m_mutex);
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
    std::lock_guard<SlimLock> lock(m_mutex);
    m_writes.push_back({origin, slot, store, id, key, std::move(value), result});
}

std::vector<WriteRecord> AudioService::Writes() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return m_writes;
}

void AudioService::ClearWrites() {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_writes.clear();
}

void AudioService::Unexpected(const std::string& what) {
    std::lock_guard<SlimLock> lock(m_mutex);
    m_unexpected.push_back(what);
}

std::vector<std::string> AudioService::UnexpectedCalls() const {
    std::lock_guard<SlimLock> lock(m_mutex);
    return m_unexpected;
}
}  // namespace sim::audio
