#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/audio/AudioService.h"

namespace sweep {

// The values of both stores of some endpoints, by place: "endpoint-id fx|endpoint key-name".
using StoredValues = std::map<std::string, sim::audio::Value>;
// Every value written to each place, in order: the writes the service accepted.
using WrittenValues = std::map<std::string, std::vector<sim::audio::Value>>;

StoredValues Snapshot(const sim::audio::AudioService& service,
                      const std::vector<std::wstring>& endpointIds);
WrittenValues Written(const sim::audio::AudioService& service);

// Every place that holds neither what it held before nor a value `intended` has for it (of the
// same type: a VT_UI4 word is not a VT_I4 of the same bits), described.
std::vector<std::string> UnintendedValues(const StoredValues& before, const StoredValues& after,
                                          const WrittenValues& intended);

}  // namespace sweep
