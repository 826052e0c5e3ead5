#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim/audio/AudioService.h"

namespace sweep {

// The values of both stores of some endpoints, by place: "endpoint-id fx|endpoint key-name".
using StoredValues = std::map<std::string, sim::audio::Value>;

StoredValues Snapshot(const sim::audio::AudioService& service,
                      const std::vector<std::wstring>& endpointIds);

// Puts one store of an endpoint in place of what `values` holds for it.
void PutStore(StoredValues* values, const std::wstring& endpointId, sim::audio::Store store,
              const std::vector<std::pair<PROPERTYKEY, sim::audio::Value>>& properties);

// Every place that does not hold what `expected` says (of the same type too: a VT_UI4 word is not
// a VT_I4 of the same bits), described. A check that every write went through the log the sweep
// judges.
std::vector<std::string> UnexpectedValues(const StoredValues& expected, const StoredValues& after);

}  // namespace sweep
