#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

// How every benchmark reports: one line per figure, which scripts/bench gathers into its summary.
//   figure: <what> = <value> <unit> (target <= 10 ms) met
// A figure without a target says "(no target)" and is neither met nor missed. A figure this
// machine cannot take reads "not measured", with the reason, and is never met. No figure with a
// target is met without a sample to judge it by:
// - a value taken from no samples at all (NoValue(), the quantile of an empty sample) reads
//   "no samples";
// - a count over a sample that was empty (passes of a kind of run that had no runs, clicks left
//   unanswered when none was made) reads "no <unit>" (CountFigure: "no runs", "no clicks");
// - a quantile from fewer samples than its verdict needs says how many it had (QuantileFigure);
// - an event that never came, whose time cannot be given, says so (MissedFigure).
// Each of these misses any target it has, and the summary counts it with the other misses.
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

// A line from the value as shown and the verdict it earned.
inline std::string VerdictLine(const char* what, const std::string& shown, Goal goal,
                               double target, bool met) {
    char line[512];
    if (goal == Goal::None) {
        std::snprintf(line, sizeof line, "figure: %s = %s (no target)", what, shown.c_str());
    } else {
        const char* sign = goal == Goal::AtMost ? "<=" : goal == Goal::AtLeast ? ">=" : "==";
        std::snprintf(line, sizeof line, "figure: %s = %s (target %s %.6g) %s", what,
                      shown.c_str(), sign, target, met ? "met" : "MISSED");
    }
    return line;
}

inline std::string Shown(double value, const char* unit) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.6g %s", value, unit);
    return shown;
}

inline void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The figure's line, without its line feed.
inline std::string FigureLine(const char* what, double value, const char* unit, Goal goal,
                              double target) {
    return VerdictLine(what, std::isnan(value) ? "no samples" : Shown(value, unit), goal, target,
                       Meets(value, goal, target));
}

// Prints the figure and returns whether it meets its target.
inline bool Figure(const char* what, double value, const char* unit, Goal goal = Goal::None,
                   double target = 0) {
    PrintLine(FigureLine(what, value, unit, goal, target));
    return Meets(value, goal, target);
}

// A count taken over `members` things of one kind, `unit` naming them in the plural ("runs",
// "clicks"): with no members there was nothing to count, and the line reads "no runs" rather
// than a count of 0 that would meet a target of 0.
inline std::string CountFigureLine(const char* what, double count, size_t members,
                                   const char* unit, Goal goal, double target) {
    if (members == 0) {
        return VerdictLine(what, std::string("no ") + unit, goal, target, false);
    }
    return VerdictLine(what, Shown(count, unit), goal, target, Meets(count, goal, target));
}

inline bool CountFigure(const char* what, double count, size_t members, const char* unit,
                        Goal goal = Goal::None, double target = 0) {
    PrintLine(CountFigureLine(what, count, members, unit, goal, target));
    return members > 0 && Meets(count, goal, target);
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

// A quantile whose verdict needs at least `fewest` samples, each one of `members` ("clicks"):
// the line says how many it was taken from, and from fewer it is not met.
//   figure: click answered max = 35 ms from 7 clicks, fewer than the 20 needed (target <= 100)
//   MISSED
inline std::string QuantileFigureLine(const char* what, const std::vector<double>& samples,
                                      double q, const char* unit, const char* members,
                                      size_t fewest, Goal goal, double target) {
    if (samples.empty()) {
        return VerdictLine(what, std::string("no ") + members, goal, target, false);
    }
    double value = Quantile(samples, q);
    std::string shown =
        Shown(value, unit) + " from " + std::to_string(samples.size()) + " " + members;
    bool enough = samples.size() >= fewest;
    if (!enough) {
        shown += ", fewer than the " + std::to_string(fewest) + " needed";
    }
    return VerdictLine(what, shown, goal, target, enough && Meets(value, goal, target));
}

inline bool QuantileFigure(const char* what, const std::vector<double>& samples, double q,
                           const char* unit, const char* members, size_t fewest, Goal goal,
                           double target) {
    PrintLine(QuantileFigureLine(what, samples, q, unit, members, fewest, goal, target));
    return samples.size() >= fewest && !samples.empty() &&
           Meets(Quantile(samples, q), goal, target);
}

// A figure whose event never came, so that it has no value: `reading` says what was seen
// ("not within 5000 ms"), and the target is missed.
inline std::string MissedFigureLine(const char* what, const char* reading, Goal goal,
                                    double target) {
    return VerdictLine(what, reading, goal, target, false);
}

inline bool MissedFigure(const char* what, const char* reading, Goal goal, double target) {
    PrintLine(MissedFigureLine(what, reading, goal, target));
    return false;
}

// Prints a figure this machine cannot take, and why.
inline void NotMeasured(const char* what, const char* why) {
    std::printf("figure: %s = not measured (%s)\n", what, why);
    std::fflush(stdout);
}

}  // namespace bench
