#pragma once

#include <vector>

#include "bench/badinput/Sweep.h"

// The kinds of outside data the sweep feeds in, each in a file of its own. A kind runs
// options.count inputs, prints its figures and returns true when every input passed and nothing
// was left behind.
namespace badinput {

bool SweepDevicePaths(const SweepOptions& options);
bool SweepDriverAnswers(const SweepOptions& options);
bool SweepSwitchValues(const SweepOptions& options);
bool SweepPropertyValues(const SweepOptions& options);
bool SweepEndpointNames(const SweepOptions& options);
bool SweepNotificationIds(const SweepOptions& options);

struct Kind {
    const char* name;
    bool (*run)(const SweepOptions& options);
};

inline std::vector<Kind> AllKinds() {
    return {{"device paths", SweepDevicePaths},     {"driver answers", SweepDriverAnswers},
            {"switch values", SweepSwitchValues},   {"property values", SweepPropertyValues},
            {"endpoint names", SweepEndpointNames}, {"notification ids", SweepNotificationIds}};
}

}  // namespace badinput
