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

// A count over a kind that had no members at all says so and is not met, whatever its target.
TEST(BenchFigures, CountsOverNothingReadNoneAndMeetNoTarget) {
    struct Case {
        double count;
        size_t members;
        Goal goal;
        double target;
        bool met;
        const char* line;
    };
    const Case cases[] = {
        {0, 0, Goal::Equal, 0, false, "figure: f = no runs (target == 0) MISSED"},
        {0, 0, Goal::AtLeast, 0, false, "figure: f = no runs (target >= 0) MISSED"},
        {0, 0, Goal::None, 0, false, "figure: f = no runs (no target)"},
        {3, 3, Goal::Equal, 3, true, "figure: f = 3 runs (target == 3) met"},
        {2, 3, Goal::Equal, 3, false, "figure: f = 2 runs (target == 3) MISSED"},
        {0, 1, Goal::Equal, 0, true, "figure: f = 0 runs (target == 0) met"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.line, bench::CountFigureLine("f", c.count, c.members, "runs", c.goal, c.target));
        EXPECT_EQ(c.met, bench::CountFigure("f", c.count, c.members, "runs", c.goal, c.target))
            << c.line;
    }
}

// A quantile needs its fewest samples before it can be met, and says how many it had.
TEST(BenchFigures, QuantilesFromTooFewSamplesSayHowManyAndAreNotMet) {
    std::vector<double> nineteen(19, 5.0);
    EXPECT_EQ(
        "figure: f = 5 ms from 19 clicks, fewer than the 20 needed (target <= 100) MISSED",
        bench::QuantileFigureLine("f", nineteen, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));
    EXPECT_FALSE(bench::QuantileFigure("f", nineteen, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));

    std::vector<double> twenty = nineteen;
    twenty.push_back(7);
    EXPECT_EQ("figure: f = 7 ms from 20 clicks (target <= 100) met",
              bench::QuantileFigureLine("f", twenty, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));
    EXPECT_TRUE(bench::QuantileFigure("f", twenty, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));

    twenty.back() = 101;
    EXPECT_EQ("figure: f = 101 ms from 20 clicks (target <= 100) MISSED",
              bench::QuantileFigureLine("f", twenty, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));
    EXPECT_FALSE(bench::QuantileFigure("f", twenty, 1.0, "ms", "clicks", 20, Goal::AtMost, 100));

    EXPECT_EQ("figure: f = no clicks (target <= 100) MISSED",
              bench::QuantileFigureLine("f", {}, 1.0, "ms", "clicks", 0, Goal::AtMost, 100));
    EXPECT_FALSE(bench::QuantileFigure("f", {}, 1.0, "ms", "clicks", 0, Goal::AtMost, 100));
}

TEST(BenchFigures, AnEventThatNeverCameMissesItsTarget) {
    EXPECT_EQ("figure: f = not within 5000 ms (target <= 1000) MISSED",
              bench::MissedFigureLine("f", "not within 5000 ms", Goal::AtMost, 1000));
    EXPECT_FALSE(bench::MissedFigure("f", "not within 5000 ms", Goal::AtMost, 1000));
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
