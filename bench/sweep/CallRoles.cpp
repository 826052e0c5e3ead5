#include "bench/sweep/CallRoles.h"

#include <cstdio>
#include <map>
#include <tuple>

#include "sim/audio/Operations.h"

namespace op = sim::audio::op;

namespace sweep {
namespace {

constexpr char kVersion[] = "GetVersionExW";

// A call's operation, without the key it names.
std::string OperationOf(const std::string& call) {
    return call.substr(0, call.find(" {"));
}

std::string KeyOf(const std::string& call) {
    size_t key = call.find(" {");
    return key == std::string::npos ? "" : call.substr(key + 1);
}

bool Is(const std::string& call, const char* operation) {
    return OperationOf(call) == operation;
}

std::string Ordinal(int n) {
    const char* suffix = n % 10 == 1 && n % 100 != 11   ? "st"
                         : n % 10 == 2 && n % 100 != 12 ? "nd"
                         : n % 10 == 3 && n % 100 != 13 ? "rd"
                                                        : "th";
    return std::to_string(n) + suffix;
}

}  // namespace

std::string KeyText(const PROPERTYKEY& key) {
    char text[32];
    std::snprintf(text, sizeof text, "{%08lX},%lu", static_cast<unsigned long>(key.fmtid.Data1),
                  static_cast<unsigned long>(key.pid));
    return text;
}

std::vector<CallRole> RolesOf(const std::vector<std::string>& calls,
                              const std::vector<size_t>& stepStarts) {
    const size_t count = calls.size();
    std::vector<CallRole> roles(count);
    std::vector<bool> placed(count, false);
    size_t pageStart = 0;
    while (pageStart < count && !Is(calls[pageStart], op::OpenFxStore)) {
        ++pageStart;
    }
    pageStart = pageStart < count ? pageStart + 1 : count;
    size_t firstStep = stepStarts.empty() ? count : stepStarts[0];
    for (size_t i = 0; i < count; ++i) {
        CallRole& role = roles[i];
        if (i < pageStart && i < firstStep) {
            role.purpose = Purpose::StartUp;
            continue;
        }
        role.part = i < firstStep ? Part::PageStart : Part::Step;
        for (size_t s = 0; s < stepStarts.size() && stepStarts[s] <= i; ++s) {
            role.step = s;
        }
    }
    // The registration: the enumerator made for it, then the registration itself.
    for (size_t i = 0; i < count; ++i) {
        if (roles[i].purpose == Purpose::StartUp && Is(calls[i], op::RegisterCallback)) {
            roles[i].purpose = Purpose::Registration;
            if (i > 0 && Is(calls[i - 1], op::CreateDeviceEnumerator)) {
                roles[i - 1].purpose = Purpose::Registration;
            }
        }
    }
    // Each read and write, with the calls of its chain just before it.
    std::map<std::tuple<Part, size_t, Purpose, std::string>, int> seen;
    auto take = [&](size_t j, const CallRole& landmark, Link link) {
        CallRole& role = roles[j];
        role.purpose = landmark.purpose;
        role.key = landmark.key;
        role.occurrence = landmark.occurrence;
        role.link = link;
        placed[j] = true;
    };
    for (size_t i = pageStart; i < count; ++i) {
        CallRole& role = roles[i];
        std::string operation = OperationOf(calls[i]);
        bool endpointRead = operation == op::EndpointStoreGetValue;
        bool read = endpointRead || operation == op::FxStoreGetValue;
        bool configWrite =
            operation == op::WriteEndpointProperty || operation == op::WriteEndpointFormat;
        if (!read && !configWrite && operation != op::FxStoreSetValue) {
            continue;
        }
        role.purpose = read ? Purpose::Read : Purpose::Write;
        role.key = operation == op::WriteEndpointFormat ? kFormatWrite : KeyOf(calls[i]);
        role.occurrence = ++seen[{role.part, role.step, role.purpose, role.key}];
        take(i, role, read ? Link::GetValue : Link::Write);
        size_t j = i;
        auto absorb = [&](const char* chainOperation, Link link) {
            if (j > pageStart && !placed[j - 1] && Is(calls[j - 1], chainOperation)) {
                take(--j, role, link);
                return true;
            }
            return false;
        };
        if (endpointRead) {
            absorb(op::OpenPropertyStore, Link::OpenStore);
            absorb(op::GetDevice, Link::Device);
            absorb(op::CreateDeviceEnumerator, Link::Enumerator);
        } else if (configWrite) {
            // The id, the version and the configuration object, in either order.
            for (int link = 0; link < 3; ++link) {
                absorb(op::GetId, Link::DeviceId) || absorb(kVersion, Link::Version) ||
                    absorb(op::CreateEndpointConfig, Link::Config);
            }
        }
    }
    for (size_t i = pageStart; i < count; ++i) {
        if (!placed[i] && roles[i].part == Part::PageStart &&
            (Is(calls[i], op::CreateDeviceEnumerator) || Is(calls[i], op::GetDevice))) {
            roles[i].purpose = Purpose::PageDevice;
            roles[i].link = Is(calls[i], op::GetDevice) ? Link::Device : Link::Enumerator;
        }
    }
    return roles;
}

std::string Describe(const CallRole& role) {
    static const char* const kLinks[] = {"its enumerator",
                                         "its device",
                                         "its property store",
                                         "the read",
                                         "the device id",
                                         "the version query",
                                         "the configuration object",
                                         "the write",
                                         ""};
    std::string part = role.part == Part::StartUp     ? "start-up"
                       : role.part == Part::PageStart ? "page start"
                                                      : "step " + std::to_string(role.step + 1);
    switch (role.purpose) {
        case Purpose::Other: return part + ": nothing written depends on it";
        case Purpose::StartUp: return part;
        case Purpose::Registration: return part + ": the notification client's registration";
        case Purpose::PageDevice: return part + ": the page's device";
        case Purpose::Read:
        case Purpose::Write:
            return part + (role.purpose == Purpose::Read ? ": read " : ": write ") + role.key +
                   " (" + Ordinal(role.occurrence) + "), " + kLinks[static_cast<int>(role.link)];
    }
    return part;
}

}  // namespace sweep
