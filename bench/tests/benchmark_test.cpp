// One program's whole benchmark, on a stand-in that has steps after the
// library steps: they must end where the next step forks, and the nested
// probe must count as an isolated run.
#include <gtest/gtest.h>
#include <unistd.h>

#include "bench_test_paths.h"
#include "benchmark.h"

namespace {

struct StandIn {
    BenchTarget target;
};

const StandIn stand_ins[] = {
    {{"later-steps32", later_steps32_path, floor32_path, 32}},
    {{"later-steps64", later_steps64_path, floor64_path, 64}},
};

class WholeBenchmark : public ::testing::TestWithParam<StandIn> {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvek-bench-test.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir = pattern;
        ASSERT_TRUE(create_fork_log(dir, &log));
    }
    void TearDown() override {
        destroy_fork_log(&log);
        for (const char *kind : {".report", ".trace"})
            unlink((dir + "/" + GetParam().target.name + kind).c_str());
        rmdir(dir.c_str());
    }
    std::string dir;
    ForkLogFile log;
};

TEST_P(WholeBenchmark, LibraryStepsEndAtTheNextStepsFork) {
    BenchSettings settings;
    settings.runs = 1;
    settings.memory_runs = 1;
    settings.work_dir = dir;
    settings.preload = fork_count_preload;
    settings.fork_log = &log;
    ProgramFigures f;
    ASSERT_TRUE(benchmark_program(GetParam().target, settings, &f));
    EXPECT_GT(f.probes, 30);
    EXPECT_EQ(f.traced_probes, f.probes);
    EXPECT_TRUE(f.steps_followed);
    EXPECT_EQ(f.steps_end_line, "getrlimit(RLIMIT_AS) returned 0, max=-1");
    // Two checks from the main process, one nested probe inside the first.
    ASSERT_EQ(f.main_forks.size(), 1u);
    EXPECT_EQ(f.main_forks[0], 2 * f.probes + 4);
    EXPECT_EQ(f.total_forks[0], 2 * f.probes + 6);
    // The 50 ms check after them is not part of the library steps.
    ASSERT_EQ(f.steps_s.size(), 1u);
    EXPECT_LT(f.steps_s[0] + 0.045, f.logged_wall_s[0]);
    EXPECT_GT(f.floor_steps_s[0], 0);
    EXPECT_GT(f.peak_kb[0], 0);
    EXPECT_EQ(f.watchdog_timeouts, 0);
}

INSTANTIATE_TEST_SUITE_P(BothWordSizes, WholeBenchmark, ::testing::ValuesIn(stand_ins),
                         [](const auto &info) {
                             return std::to_string(info.param.target.bits) + "bit";
                         });

} // namespace
