// Medians and the verdicts on the targets.
#include <gtest/gtest.h>

#include "summary.h"

namespace {

TEST(Median, OddEvenAndEmpty) {
    EXPECT_DOUBLE_EQ(median({3, 1, 2}), 2);
    EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);
    EXPECT_DOUBLE_EQ(median({7}), 7);
    EXPECT_DOUBLE_EQ(median({}), 0);
}

// A burst of load in two of five pairs moves neither the paired ratio nor
// lets one slow side stand for the whole.
TEST(PairedRatio, RidesOutBurstsOfLoad) {
    EXPECT_DOUBLE_EQ(paired_ratio({1.1, 2.2, 1.1, 1.1, 3.3}, {1, 2, 1, 1, 3}), 1.1);
    EXPECT_DOUBLE_EQ(paired_ratio({1.1, 5, 1.1, 1.1, 1.1}, {1, 1, 1, 5, 1}), 1.1);
    EXPECT_DOUBLE_EQ(paired_ratio({2, 3, 4}, {1, 1}), 2.5); // unpaired runs left out
    EXPECT_DOUBLE_EQ(paired_ratio({1}, {0}), 0);
}

ProgramFigures figures(double steps, double floor, double longest_wall, int missing, int timeouts,
                       double longest_any) {
    ProgramFigures f;
    f.steps_s = {steps};
    f.floor_steps_s = {floor};
    f.wall_s = {longest_wall / 2, longest_wall};
    f.floor_wall_s = {floor, floor};
    f.missing_sections = missing;
    f.watchdog_timeouts = timeouts;
    f.longest_run_s = longest_any;
    return f;
}

TEST(Judge, Targets) {
    struct Case {
        const char *what;
        ProgramFigures f;
        Verdict steps, whole, watchdog;
    } cases[] = {
        {"all met", figures(0.12, 0.10, 0.3, 0, 0, 0.3), Verdict::met, Verdict::met, Verdict::met},
        {"ratio exactly 1.3", figures(0.65, 0.5, 0.3, 0, 0, 0.3), Verdict::met, Verdict::met,
         Verdict::met},
        {"ratio over 1.3", figures(0.14, 0.10, 0.3, 0, 0, 0.3), Verdict::missed, Verdict::met,
         Verdict::met},
        {"one run of a second", figures(0.1, 0.1, 1.0, 0, 0, 1.0), Verdict::met, Verdict::missed,
         Verdict::met},
        {"a traced time-out", figures(0.1, 0.1, 0.3, 0, 1, 0.3), Verdict::met, Verdict::met,
         Verdict::missed},
        {"a run as long as a watchdog", figures(0.1, 0.1, 0.3, 0, 0, 5.2), Verdict::met,
         Verdict::met, Verdict::missed},
        {"a library missing", figures(0.1, 0.1, 6.0, 1, 1, 6.0), Verdict::met, Verdict::not_judged,
         Verdict::not_judged},
    };
    for (const auto &c : cases) {
        Targets t = judge(c.f);
        EXPECT_EQ(t.steps_ratio, c.steps) << c.what;
        EXPECT_EQ(t.whole_run, c.whole) << c.what;
        EXPECT_EQ(t.no_watchdog, c.watchdog) << c.what;
    }
}

} // namespace
