#pragma once

#include <atomic>
#include <string>

namespace sim::audio {

// Every kind of COM object the simulated service hands out, counted while alive.
enum class ObjectKind {
    ClassFactory,
    DeviceEnumerator,
    DeviceCollection,
    Device,
    EndpointPropertyStore,
    FxPropertyStore,
    FxStoreAccess,
    EndpointConfig,
    DeviceTopology,
    EndpointConnector,
    AdapterConnector,
    JackDescription,
    StoredObject,  // what a VT_UNKNOWN property value hands out
    Count
};

const char* ObjectKindName(ObjectKind kind);

// Live instances of one kind.
int LiveObjects(ObjectKind kind);

// "Device 2, FxPropertyStore 1" for every kind with instances alive; empty when none are.
std::string DescribeLiveObjects();

// Counts one instance of its kind from construction to destruction.
template <ObjectKind kind>
class Counted {
public:
    Counted();
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    ~Counted();
};

namespace detail {
extern std::atomic<int> g_live[static_cast<int>(ObjectKind::Count)];
}

template <ObjectKind kind>
Counted<kind>::Counted() {
    detail::g_live[static_cast<int>(kind)].fetch_add(1);
}

template <ObjectKind kind>
Counted<kind>::~Counted() {
    detail::g_live[static_cast<int>(kind)].fetch_sub(1);
}

}  // namespace sim::audio
