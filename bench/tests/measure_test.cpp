// The measuring tools against helpers whose forks and memory are known, in
// both word sizes: the preload's counts and stamps, the main-process-only
// peak memory, and the floor's one fork per probe.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "bench_test_paths.h"
#include "measure.h"

namespace {

struct WordSize {
    int bits;
    const char *forker;
    const char *floor;
};

const WordSize word_sizes[] = {{32, forker32_path, floor32_path},
                               {64, forker64_path, floor64_path}};

class Scratch {
  public:
    Scratch() {
        char pattern[] = "/tmp/tarvek-bench-test.XXXXXX";
        dir_ = mkdtemp(pattern) ? pattern : "";
    }
    ~Scratch() {
        unlink((dir_ + "/stderr").c_str());
        rmdir(dir_.c_str());
    }
    const std::string &dir() const { return dir_; }

  private:
    std::string dir_;
};

class Measure : public ::testing::TestWithParam<WordSize> {
  protected:
    void SetUp() override { ASSERT_TRUE(create_fork_log(scratch.dir(), &log)); }
    void TearDown() override { destroy_fork_log(&log); }
    Scratch scratch;
    ForkLogFile log;
};

TEST_P(Measure, ForkLogCountsDescendantsButNotExecedPrograms) {
    Command tree{{GetParam().forker, "tree"}, {}, "/dev/null", scratch.dir() + "/stderr"};
    reset_fork_log(&log);
    RunTimes run = run_timed(with_fork_log(tree, log, fork_count_preload));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(log.log->magic, FORK_LOG_MAGIC);
    EXPECT_EQ(log.log->total_forks, 3u);
    EXPECT_EQ(log.log->main_forks, 2u);
    EXPECT_EQ(log.log->failed_forks, 0u);
    // The trace file's size when each fork was made: "a\n", then "a\nbb\n".
    EXPECT_EQ(log.log->main[0].stderr_bytes, 2);
    EXPECT_EQ(log.log->main[1].stderr_bytes, 5);
    EXPECT_LE(run.start_ns, log.log->main[0].monotonic_ns);
    EXPECT_LE(log.log->main[0].monotonic_ns, log.log->main[1].monotonic_ns);
    EXPECT_LE(log.log->main[1].monotonic_ns, run.end_ns);
}

TEST_P(Measure, ForkLogStaysEmptyWithoutThePreload) {
    Command tree{{GetParam().forker, "tree"}, {"TARVEK_BENCH_FORK_LOG=" + log.path}};
    reset_fork_log(&log);
    ASSERT_EQ(run_timed(tree).status, 0);
    EXPECT_EQ(log.log->magic, 0u);
    EXPECT_EQ(log.log->total_forks, 0u);
}

// 16 MiB in the main process, 96 MiB in its child: a peak taken over the
// process tree (wait4's ru_maxrss) would show the child's.
TEST_P(Measure, PeakMemoryIsTheMainProcessOnly) {
    Command hog{{GetParam().forker, "memory", "16", "96"}, {}};
    MemoryRun run = run_for_peak_memory(hog);
    // Exit status 0: the helper's SIGUSR1 reached its handler and its child
    // saw no tracer.
    EXPECT_EQ(run.status, 0);
    EXPECT_GE(run.peak_kb, 16 * 1024);
    EXPECT_LT(run.peak_kb, 48 * 1024);
}

TEST_P(Measure, PeakMemoryReportsAProgramThatCannotStart) {
    MemoryRun run = run_for_peak_memory(Command{{"/nonexistent/tarvek-bench-test"}, {}});
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 127) << run.status;
    EXPECT_EQ(run.peak_kb, -1);
}

TEST_P(Measure, FloorForksOncePerProbeLoadedOrNot) {
    Command floor{{GetParam().floor, "libc.so.6", "libtarvek-bench-absent.so.1", "libm.so.6"}, {}};
    reset_fork_log(&log);
    RunTimes run = run_timed(with_fork_log(floor, log, fork_count_preload));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(log.log->total_forks, 3u);
    EXPECT_EQ(log.log->main_forks, 3u);
}

TEST_P(Measure, TimedRunOfAProgramThatCannotStart) {
    RunTimes run = run_timed(Command{{"/nonexistent/tarvek-bench-test"}, {}});
    EXPECT_FALSE(run.exited_cleanly());
}

INSTANTIATE_TEST_SUITE_P(BothWordSizes, Measure, ::testing::ValuesIn(word_sizes),
                         [](const auto &info) { return std::to_string(info.param.bits) + "bit"; });

} // namespace
