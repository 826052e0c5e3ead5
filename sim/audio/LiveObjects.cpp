#include "sim/audio/LiveObjects.h"

namespace sim::audio {

namespace detail {
std::atomic<int> g_live[static_cast<int>(ObjectKind::Count)];
}

const char* ObjectKindName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::ClassFactory: return "ClassFactory";
        case ObjectKind::DeviceEnumerator: return "DeviceEnumerator";
        case ObjectKind::DeviceCollection: return "DeviceCollection";
        case ObjectKind::Device: return "Device";
        case ObjectKind::EndpointPropertyStore: return "EndpointPropertyStore";
        case ObjectKind::FxPropertyStore: return "FxPropertyStore";
        case ObjectKind::FxStoreAccess: return "FxStoreAccess";
        case ObjectKind::EndpointConfig: return "EndpointConfig";
        case ObjectKind::DeviceTopology: return "DeviceTopology";
        case ObjectKind::EndpointConnector: return "EndpointConnector";
        case ObjectKind::AdapterConnector: return "AdapterConnector";
        case ObjectKind::JackDescription: return "JackDescription";
        case ObjectKind::StoredObject: return "StoredObject";
        case ObjectKind::Count: break;
    }
    return "?";
}

int LiveObjects(ObjectKind kind) {
    return detail::g_live[static_cast<int>(kind)].load();
}

std::string DescribeLiveObjects() {
    std::string text;
    for (int i = 0; i < static_cast<int>(ObjectKind::Count); ++i) {
        int live = detail::g_live[i].load();
        if (live != 0) {
            if (!text.empty()) {
                text += ", ";
            }
            text += ObjectKindName(static_cast<ObjectKind>(i));
            text += " " + std::to_string(live);
        }
    }
    return text;
}

}  // namespace sim::audio
