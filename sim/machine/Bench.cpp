#include "sim/machine/Bench.h"

#include "sim/machine/EffectKeys.h"

namespace sim::machine {
namespace {

using audio::Store;

const char* PathName(audio::WriteOrigin origin) {
    switch (origin) {
        case audio::WriteOrigin::ConfigVista: return "configuration object (Vista)";
        case audio::WriteOrigin::Config7: return "configuration object (Windows 7)";
        case audio::WriteOrigin::FxStoreHandle: return "FX store handle";
        default: return "another program";
    }
}

bool SameDriver(const DriverState& a, const DriverState& b) {
    return a.interfaces == b.interfaces && a.policy == b.policy && a.jack == b.jack &&
           a.retasking[0] == b.retasking[0] && a.retasking[1] == b.retasking[1] &&
           a.chipRetasking[0] == b.chipRetasking[0] && a.chipRetasking[1] == b.chipRetasking[1] &&
           a.effectSupport == b.effectSupport;
}

}  // namespace

Bench::Bench(const MachineState& state)
    : m_service(audio::AudioService::Start()),
      m_driver(std::make_unique<driver::ScopedCodecDriver>()),
      m_version(std::make_unique<ScopedWindowsVersion>(state.windowsMajor, state.windowsMinor)),
      m_changedFromOutside(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    for (const EndpointState& endpoint : state.endpoints) {
        m_service->AddEndpoint(endpoint.id, endpoint.flow, endpoint.state);
        for (const PropertyEntry& entry : endpoint.properties) {
            m_service->SetProperty(Store::Endpoint, endpoint.id, entry.key, entry.value);
        }
        for (const PropertyEntry& entry : endpoint.fx) {
            m_service->SetProperty(Store::Fx, endpoint.id, entry.key, entry.value);
        }
        if (endpoint.jack) {
            m_service->SetJack(endpoint.id, *endpoint.jack);
        }
    }
    ApplyDriver(state.driver);
    m_applied = state;
}

Bench::~Bench() {
    m_service->SetWriteObserver(nullptr);
    m_service->Stop();
    if (m_changedFromOutside) {
        CloseHandle(m_changedFromOutside);
    }
}

void Bench::ApplyDriver(const DriverState& driver) {
    m_driver->ClearInterfaces();
    for (const std::wstring& path : driver.interfaces) {
        m_driver->AddInterface(path);
    }
    m_driver->SetPolicyState(driver.policy);
    m_driver->SetJackStatus(driver.jack);
    m_driver->SetRetasking(driver.retasking[0], driver.retasking[1]);
    m_driver->SetChipRetasking(driver.chipRetasking[0], driver.chipRetasking[1]);
    m_driver->SetEffectSupport(driver.effectSupport);
}

void Bench::Apply(const MachineState& state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool changed = false;
    for (const EndpointState& endpoint : state.endpoints) {
        EndpointState* before = m_applied.Find(endpoint.id);
        if (!before || !m_service->HasEndpoint(endpoint.id)) {
            continue;
        }
        if (before->state != endpoint.state) {
            m_service->SetEndpointState(endpoint.id, endpoint.state);
        }
        for (Store store : {Store::Endpoint, Store::Fx}) {
            const auto& entries = store == Store::Fx ? endpoint.fx : endpoint.properties;
            auto& applied = store == Store::Fx ? before->fx : before->properties;
            for (const PropertyEntry& entry : entries) {
                const PropertyEntry* was = FindEntry(applied, entry.key);
                auto now = m_service->Property(store, endpoint.id, entry.key);
                if ((!was || !(was->value == entry.value)) && (!now || !(*now == entry.value))) {
                    m_service->ChangeFromOutside(store, endpoint.id, entry.key, entry.value);
                    changed = true;
                }
            }
        }
    }
    if (!SameDriver(state.driver, m_applied.driver)) {
        ApplyDriver(state.driver);
        // As the driver does when a jack changes: every endpoint hears of it.
        for (const EndpointState& endpoint : state.endpoints) {
            m_service->Notify(endpoint.id, keys::JackChange);
        }
    }
    m_applied = state;
    if (changed && m_changedFromOutside) {
        SetEvent(m_changedFromOutside);
    }
}

bool Bench::ReloadFrom(StateFile& file, std::string* error) {
    MachineState state;
    if (!file.Load(&state, error)) {
        return false;
    }
    Apply(state);
    return true;
}

void Bench::HoldAfterFirstWrite(const PROPERTYKEY& key) {
    m_holdAfter = key;
}

void Bench::HoldIfDue(const audio::WriteRecord& write) {
    if (!m_holdAfter || write.origin == audio::WriteOrigin::OutsideProgram ||
        !IsEqualPropertyKey(write.key, *m_holdAfter)) {
        return;
    }
    m_holdAfter.reset();
    WaitForSingleObject(m_changedFromOutside, 10000);
    m_service->FlushNotifications();
}

void Bench::RecordWritesTo(StateFile& file) {
    m_service->SetWriteObserver([this, &file](const audio::WriteRecord& write) {
        if (write.origin == audio::WriteOrigin::OutsideProgram) {
            return;  // it came from the file
        }
        std::string error;
        file.Update(
            [&](MachineState& state) {
                EndpointState* endpoint = state.Find(write.endpointId);
                if (!endpoint) {
                    return false;
                }
                PutEntry(write.store == Store::Fx ? endpoint->fx : endpoint->properties, write.key,
                         write.value);
                state.writes.push_back({write.endpointId,
                                        write.store == Store::Fx ? "fx" : "endpoint", write.key,
                                        write.value, PathName(write.origin)});
                return true;
            },
            &error);
        HoldIfDue(write);
    });
}

}  // namespace sim::machine
