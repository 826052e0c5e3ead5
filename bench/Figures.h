#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

// How every benchmark reports: one line per figure, which scripts/bench gathers into its summary.
//   figure: <what> = <value> <unit> (target <= 10 ms) met
// A figure without a target says "(no target)" and is neither met nor missed. A figure taken
// from no samples at all has no value: it reads "no samples" and misses any target it has. A
// figure this machine cannot take reads "not measured", with the reason, and is never met.
namespace bench {

enum class Goal { AtMost, AtLeast, Equal, None };

// A value that was not taken: the quantile of an empty sample.
inline double NoValue() {
    return std::numeric_limits<double>::quiet_NaN();
}

// Whether the value meets its goal; a value that was not taken meets none.
inline bool Meets(double value, Goal goal, double target) {
    if (std::isnan(value)) {
        return false;
    }
    return goal == Goal::None || (goal == Goal::AtMost && value <= target) ||
           (goal == Goal::AtLeast && value >= target) || (goal == Goal::Equal && value == target);
}

// The figure's line, without its line feed.
inline std::string FigureLine(const char* what, double value, const char* unit, Goal goal,
                              double target) {
    char shown[64];
    if (std::isnan(value)) {
        std::snprintf(shown, sizeof shown, "no samples");
    } else {
        std::snprintf(shown, sizeof shown, "%.6g %s", value, unit);
    }
    char line[512];
    if (goal == Goal::None) {
        std::snprintf(line, sizeof line, "figure: %s = %s (no target)", what, shown);
    } else {
        const char* sign = goal == Goal::AtMost ? "<=" : goal == Goal::AtLeast ? ">=" : "==";
        std::snprintf(line, sizeof line, "figure: %s = %s (target %s %.6g) %s", what, shown, sign,
                      target, Meets(value, goal, target) ? "met" : "MISSED");
    }
    return line;
}

// Prints the figure and returns whether it meets its target.
inline bool Figure(const char* what, double value, const char* unit, Goal goal = Goal::None,
                   double target = 0) {
    std::printf("%s\n", FigureLine(what, value, unit, goal, target).c_str());
    std::fflush(stdout);
    return Meets(value, goal, target);
}

// Prints a figure this machine cannot take, and why.
inline void NotMeasured(const char* what, const char* why) {
    std::printf("figure: %s = not measured (%s)\n", what, why);
    std::fflush(stdout);
}

// The q-th quantile (0..1) of the samples, nearest rank; NoValue() for none.
inline double Quantile(std::vector<double> samples, double q) {
    if (samples.empty()) {
        return NoValue();
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
