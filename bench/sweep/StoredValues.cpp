#include "bench/sweep/StoredValues.h"

#include <algorithm>

#include "sim/machine/MachineState.h"

namespace sweep {
namespace {

using sim::audio::Store;
using sim::audio::Value;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // endpoint ids are plain ASCII
}

std::string PlaceName(const std::wstring& endpointId, Store store, const PROPERTYKEY& key) {
    return Narrow(endpointId) + (store == Store::Fx ? " fx " : " endpoint ") +
           sim::machine::KeyName(key);
}

std::string Show(const Value* value) {
    return value ? value->Describe() : "nothing";
}

const Value* Find(const StoredValues& values, const std::string& place) {
    auto found = values.find(place);
    return found == values.end() ? nullptr : &found->second;
}

}  // namespace

StoredValues Snapshot(const sim::audio::AudioService& service,
                      const std::vector<std::wstring>& endpointIds) {
    StoredValues values;
    for (const std::wstring& id : endpointIds) {
        for (Store store : {Store::Endpoint, Store::Fx}) {
            for (const auto& [key, value] : service.Properties(store, id)) {
                values[PlaceName(id, store, key)] = value;
            }
        }
    }
    return values;
}

WrittenValues Written(const sim::audio::AudioService& service) {
    WrittenValues written;
    for (const auto& write : service.Writes()) {
        if (SUCCEEDED(write.result)) {
            written[PlaceName(write.endpointId, write.store, write.key)].push_back(write.value);
        }
    }
    return written;
}

std::vector<std::string> UnintendedValues(const StoredValues& before, const StoredValues& after,
                                          const WrittenValues& intended) {
    std::vector<std::string> places;
    for (const auto* values : {&before, &after}) {
        for (const auto& entry : *values) {
            places.push_back(entry.first);
        }
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    std::vector<std::string> unintended;
    for (const std::string& place : places) {
        const Value* was = Find(before, place);
        const Value* now = Find(after, place);
        if ((!was && !now) || (was && now && *was == *now)) {
            continue;
        }
        auto written = intended.find(place);
        if (now && written != intended.end() &&
            std::find(written->second.begin(), written->second.end(), *now) !=
                written->second.end()) {
            continue;
        }
        unintended.push_back(place + " holds " + Show(now) + ", neither what it held (" +
                             Show(was) + ") nor a value the fault-free run wrote");
    }
    return unintended;
}

}  // namespace sweep
