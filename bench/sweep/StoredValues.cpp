#include "bench/sweep/StoredValues.h"

#include <set>

#include "sim/machine/MachineState.h"

namespace sweep {
namespace {

using sim::audio::Store;
using sim::audio::Value;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());  // endpoint ids are plain ASCII
}

std::string StoreName(const std::wstring& endpointId, Store store) {
    return Narrow(endpointId) + (store == Store::Fx ? " fx " : " endpoint ");
}

std::string Show(const StoredValues& values, const std::string& place) {
    auto found = values.find(place);
    return found == values.end() ? "nothing" : found->second.Describe();
}

}  // namespace

StoredValues Snapshot(const sim::audio::AudioService& service,
                      const std::vector<std::wstring>& endpointIds) {
    StoredValues values;
    for (const std::wstring& id : endpointIds) {
        for (Store store : {Store::Endpoint, Store::Fx}) {
            PutStore(&values, id, store, service.Properties(store, id));
        }
    }
    return values;
}

void PutStore(StoredValues* values, const std::wstring& endpointId, Store store,
              const std::vector<std::pair<PROPERTYKEY, Value>>& properties) {
    std::string prefix = StoreName(endpointId, store);
    for (auto place = values->lower_bound(prefix);
         place != values->end() && place->first.compare(0, prefix.size(), prefix) == 0;) {
        place = values->erase(place);
    }
    for (const auto& [key, value] : properties) {
        (*values)[prefix + sim::machine::KeyName(key)] = value;
    }
}

std::vector<std::string> UnexpectedValues(const StoredValues& expected, const StoredValues& after) {
    std::set<std::string> places;
    for (const auto* values : {&expected, &after}) {
        for (const auto& entry : *values) {
            places.insert(entry.first);
        }
    }
    std::vector<std::string> unexpected;
    for (const std::string& place : places) {
        auto want = expected.find(place);
        auto have = after.find(place);
        bool same = (want == expected.end()) == (have == after.end()) &&
                    (want == expected.end() || want->second == have->second);
        if (!same) {
            unexpected.push_back(place + " holds " + Show(after, place) +
                                 ", where the rules leave " + Show(expected, place));
        }
    }
    return unexpected;
}

}  // namespace sweep
