#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench/Figures.h"

namespace {

using bench::Goal;

// A verdict only where the value meets its target; a figure taken from no samples meets none.
TEST(BenchFigures, PrintsTheVerdictTheValueEarns) {
    struct Case {
        double value;
        Goal goal;
        double target;
        bool met;
        const char* line;
    };
    const double none = bench::NoValue();
    const Case cases[] = {
        {5, Goal::AtMost, 10, true, "figure: f = 5 ms (target <= 10) met"},
        {10.5, Goal::AtMost, 10, false, "figure: f = 10.5 ms (target <= 10) MISSED"},
        {3, Goal::AtLeast, 3, true, "figure: f = 3 ms (target >= 3) met"},
        {0, Goal::Equal, 0, true, "figure: f = 0 ms (target == 0) met"},
        {1, Goal::Equal, 0, false, "figure: f = 1 ms (target == 0) MISSED"},
        {none, Goal::AtMost, 10, false, "figure: f = no samples (target <= 10) MISSED"},
        {none, Goal::AtLeast, 0, false, "figure: f = no samples (target >= 0) MISSED"},
        {none, Goal::Equal, 0, false, "figure: f = no samples (target == 0) MISSED"},
        {4, Goal::None, 0, true, "figure: f = 4 ms (no target)"},
        {none, Goal::None, 0, false, "figure: f = no samples (no target)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.line, bench::FigureLine("f", c.value, "ms", c.goal, c.target));
        EXPECT_EQ(c.met, bench::Meets(c.value, c.goal, c.target)) << c.line;
    }
}

TEST(BenchFigures, QuantilesTakeTheNearestRankAndNothingFromNoSamples) {
    const std::vector<double> samples = {4, 1, 3, 2};
    EXPECT_EQ(1, bench::Quantile(samples, 0));
    EXPECT_EQ(2, bench::Quantile(samples, 0.5));
    EXPECT_EQ(4, bench::Quantile(samples, 0.99));
    EXPECT_EQ(4, bench::Quantile(samples, 1.0));
    EXPECT_TRUE(std::isnan(bench::Quantile({}, 0.99)));
    EXPECT_TRUE(std::isnan(bench::Median({})));
    EXPECT_FALSE(bench::Meets(bench::Quantile({}, 1.0), Goal::AtMost, 100));
}

}  // namespace
