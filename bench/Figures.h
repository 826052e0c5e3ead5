#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

// How every benchmark reports: one line per figure, which scripts/bench gathers into its summary.
//   figure: <what> = <value> <unit> (target <= 10 ms) met
// A figure without a target says "(no target)" and is neither met nor missed.
namespace bench {

enum class Goal { AtMost, AtLeast, Equal, None };

// Prints the figure and returns whether it meets its target.
inline bool Figure(const char* what, double value, const char* unit, Goal goal = Goal::None,
                   double target = 0) {
    bool met = goal == Goal::None || (goal == Goal::AtMost && value <= target) ||
               (goal == Goal::AtLeast && value >= target) ||
               (goal == Goal::Equal && value == target);
    const char* sign = goal == Goal::AtMost ? "<=" : goal == Goal::AtLeast ? ">=" : "==";
    if (goal == Goal::None) {
        std::printf("figure: %s = %.6g %s (no target)\n", what, value, unit);
    } else {
        std::printf("figure: %s = %.6g %s (target %s %.6g) %s\n", what, value, unit, sign, target,
                    met ? "met" : "MISSED");
    }
    std::fflush(stdout);
    return met;
}

// The q-th quantile (0..1) of the samples, nearest rank; 0 for none.
inline double Quantile(std::vector<double> samples, double q) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(q * static_cast<double>(samples.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, samples.size());
    return samples[rank - 1];
}

inline double Median(std::vector<double> samples) {
    return Quantile(std::move(samples), 0.5);
}

}  // namespace bench
