// The runner against bodies that end every way a library can end a process.
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "isolate/check_time.h"
#include "isolate/descendants.h"
#include "isolate/run_isolated.h"
#include "isolate/schedule.h"
#include "report/report.h"

namespace {

int returns_one(const char *) { return 1; }
int returns_seven(const char *) { return 7; }
int returns_zero(const char *) { return 0; }
int segfaults(const char *) { raise(SIGSEGV); return 1; }
int aborts(const char *) { abort(); }
int exits_one(const char *) { exit(1); }
int exits_163(const char *) { exit(163); }
int exits_zero(const char *) { exit(0); }
int sleeps_past_watchdog(const char *) { sleep(30); return 1; }
int arg_is_marker(const char *arg) { return arg && std::string(arg) == "marker"; }
int nested_passes(const char *) { return run_isolated(returns_one, nullptr) == TEST_PASSED; }
int nested_sees_crash(const char *) { return run_isolated(segfaults, nullptr) == TEST_BROKEN; }

struct Case {
    const char *name;
    CheckFn body;
    const char *arg;
    TestOutcome expected;
};

class RunnerOutcome : public ::testing::TestWithParam<Case> {};

TEST_P(RunnerOutcome, MapsTheChildsEnd) {
    EXPECT_EQ(run_isolated(GetParam().body, GetParam().arg), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RunnerOutcome,
    ::testing::Values(Case{"returns_one", returns_one, nullptr, TEST_PASSED},
                      Case{"returns_seven", returns_seven, nullptr, TEST_PASSED},
                      Case{"returns_zero", returns_zero, nullptr, TEST_FAILED},
                      Case{"segfaults", segfaults, nullptr, TEST_BROKEN},
                      Case{"aborts", aborts, nullptr, TEST_BROKEN},
                      Case{"exits_one", exits_one, nullptr, TEST_BROKEN},
                      Case{"exits_163", exits_163, nullptr, TEST_FAILED},
                      Case{"exits_zero", exits_zero, nullptr, TEST_PASSED},
                      Case{"arg_handed_through", arg_is_marker, "marker", TEST_PASSED},
                      Case{"nested_run_passes", nested_passes, nullptr, TEST_PASSED},
                      Case{"nested_run_sees_crash", nested_sees_crash, nullptr, TEST_PASSED}),
    [](const auto &info) { return std::string(info.param.name); });

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int sleeps_a_second(const char *) { sleep(1); return 1; }

// Started ahead, each check keeps its own outcome, taken in the order asked
// for; children that only wait do not hold back the others.
TEST(Runner, StartedChecksRunSideBySideAndKeepTheirOwnOutcomes) {
    const struct {
        CheckFn body;
        const char *arg;
        TestOutcome expected;
    } started[] = {
        {sleeps_a_second, "1", TEST_PASSED}, {sleeps_a_second, "2", TEST_PASSED},
        {aborts, nullptr, TEST_BROKEN},      {sleeps_a_second, "3", TEST_PASSED},
        {returns_zero, nullptr, TEST_FAILED}, {sleeps_a_second, "4", TEST_PASSED},
    };
    auto start = std::chrono::steady_clock::now();
    for (const auto &check : started) start_isolated(check.body, check.arg);
    for (const auto &check : started)
        EXPECT_EQ(run_isolated(check.body, check.arg), check.expected) << check.arg;
    EXPECT_LT(seconds_since(start), 2.5);
}

// One slow case covers the time-out and the reaping of its leftover child.
TEST(Runner, TimeOutKillsAfterFiveSecondsAndNextCallReapsTheLeftover) {
    set_debug_enabled(1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run_isolated(sleeps_past_watchdog, nullptr), TEST_BROKEN);
    double waited = seconds_since(start);
    EXPECT_GE(waited, 4.9);
    EXPECT_LT(waited, 7.0);
    // The killed test child is still unreaped: the next call must skip it
    // and return its own outcome.
    EXPECT_EQ(run_isolated(returns_zero, nullptr), TEST_FAILED);
    EXPECT_EQ(run_isolated(returns_one, nullptr), TEST_PASSED);
    set_debug_enabled(0);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// The nested run starts a second late, so its watchdog cannot beat the
// outer one: both sleep the same 5 s, and a tie would be a race.
int nested_hang(const char *) {
    sleep(1);
    return run_isolated(sleeps_past_watchdog, nullptr) == TEST_BROKEN;
}

// The outer watchdog fires first and the outer child is killed in the
// middle of its nested run. Every process of that run holds
// the write end of a pipe, as they all hold the report's stdout: the pipe
// must close at once, not when the nested child's sleep is over.
TEST(Runner, NestedChildrenDoNotOutliveACheckEndedByItsWatchdog) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run_isolated(nested_hang, nullptr), TEST_BROKEN);
    EXPECT_LT(seconds_since(start), 7.0);
    close(ends[1]);
    pollfd closed = {ends[0], POLLIN, 0};
    char byte;
    bool ended = poll(&closed, 1, 2000) == 1 && read(ends[0], &byte, 1) == 0;
    EXPECT_TRUE(ended) << "a nested child still holds the pipe";
    close(ends[0]);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// Each section leaves the child whole the moment it is written: a crash
// keeps those before it, and a section cut short by it is dropped.
int writes_then_crashes(const char *) {
    report_issue("Written", "before the crash");
    fputs("[Cut", report_stream);
    raise(SIGSEGV);
    return 1;
}
int writes_then_returns(const char *) {
    report_issue("Kept", "flushed by the child");
    return 1;
}

TEST(Runner, AChildThatDiesLeavesItsWholeSectionsOnly) {
    char path[] = "/tmp/tarvek-runner-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    fflush(stdout);
    int saved = dup(1);
    dup2(fd, 1);
    EXPECT_EQ(run_isolated(writes_then_crashes, nullptr), TEST_BROKEN);
    EXPECT_EQ(run_isolated(writes_then_returns, nullptr), TEST_PASSED);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text(4096, '\0');
    text.resize(pread(fd, text.data(), text.size(), 0));
    close(fd);
    unlink(path);
    EXPECT_EQ(text, "[Written.amd64]\n\"Title\"=\"before the crash\"\n\n"
                    "[Kept.amd64]\n\"Title\"=\"flushed by the child\"\n\n");
}

// The start decision alone: the table's load, the back-off and the bounds as
// literals (16 in flight, channels for 100 checks).
struct StartRow {
    const char *name;
    StartView view; // now, the wanted queued, any queued, {in flight, at work, holding channels}
    BackOff back_off;
    int processors;
    bool tight_process_limit;
    StartChoice expected;
};

class StartDecision : public ::testing::TestWithParam<StartRow> {};

TEST_P(StartDecision, StartsWhatTheRulesAllow) {
    const StartRow &row = GetParam();
    WorkBounds bounds = {16, row.processors, 100, row.tight_process_limit};
    EXPECT_EQ(choose_start(row.view, row.back_off, bounds), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartDecision,
    ::testing::Values(
        StartRow{"wanted_beyond_the_bound", {1000, true, true, {16, 2, 100}}, {}, 2, false, START_WANTED},
        StartRow{"next_below_the_bound", {1000, false, true, {3, 1, 3}}, {}, 2, false, START_NEXT_QUEUED},
        StartRow{"none_queued", {1000, false, false, {0, 0, 0}}, {}, 2, false, START_NOTHING},
        StartRow{"processors_at_work", {1000, false, true, {5, 2, 5}}, {}, 2, false, START_NOTHING},
        StartRow{"children_in_flight", {1000, false, true, {16, 0, 16}}, {}, 2, false, START_NOTHING},
        StartRow{"channels_held", {1000, false, true, {0, 0, 100}}, {}, 2, false, START_NOTHING},
        StartRow{"backing_off", {1000, true, true, {0, 0, 0}}, {1005, 10, true}, 2, false, START_NOTHING},
        StartRow{"back_off_over", {1005, true, true, {0, 0, 0}}, {1005, 10, true}, 2, false, START_WANTED},
        StartRow{"one_at_a_time_waits", {1000, true, true, {1, 0, 1}}, {0, 10, true}, 2, false, START_NOTHING},
        StartRow{"one_at_a_time_no_other", {1000, false, true, {0, 0, 0}}, {0, 10, true}, 2, false, START_NOTHING},
        StartRow{"tight_process_limit", {1000, true, true, {0, 0, 3}}, {}, 2, true, START_WANTED},
        StartRow{"tight_limit_no_other", {1000, false, true, {0, 0, 0}}, {}, 2, true, START_NOTHING},
        // On one processor a check started ahead only takes turns with the one asked for.
        StartRow{"one_processor_no_other", {1000, false, true, {0, 0, 0}}, {}, 1, false, START_NOTHING},
        StartRow{"one_processor_wanted", {1000, true, true, {0, 0, 0}}, {}, 1, false, START_WANTED}),
    [](const auto &info) { return std::string(info.param.name); });

// Each refusal makes the wait longer until it passes 100 ms; a reaped child
// cuts it short, but checks stay one at a time.
TEST(StartDecision, RefusalsWaitLongerAndAFreedSlotEndsTheWait) {
    BackOff first = backed_off(BackOff{}, 1000), later = backed_off({0, 160, true}, 2000);
    EXPECT_EQ(first.retry_at_ms, 1005);
    EXPECT_EQ(first.wait_ms, 10);
    EXPECT_TRUE(first.one_at_a_time);
    EXPECT_EQ(later.retry_at_ms, 2160);
    EXPECT_EQ(later.wait_ms, 160);
    BackOff freed = slot_freed(later);
    EXPECT_EQ(freed.retry_at_ms, 0);
    EXPECT_EQ(freed.wait_ms, 5);
    EXPECT_TRUE(freed.one_at_a_time);
}

// Of an interval between two readings of a check's clock, the time it had:
// its threads' waits for a processor (summed, so capped) and a stop of the
// run taken off.
struct TimeRow {
    const char *name;
    long long interval_ms, delay_ms;
    bool run_stopped;
    long long had_ms;
};

class CheckTime : public ::testing::TestWithParam<TimeRow> {};

TEST_P(CheckTime, CountsOnlyTheTimeTheCheckHad) {
    const TimeRow &row = GetParam();
    EXPECT_EQ(time_had_in(row.interval_ms, row.delay_ms, row.run_stopped), row.had_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckTime,
    ::testing::Values(TimeRow{"quiet", 1000, 0, false, 1000},
                      TimeRow{"waited_a_quarter", 1000, 250, false, 750},
                      TimeRow{"threads_waited_longer_than_the_interval", 1000, 3000, false, 0},
                      TimeRow{"run_stopped", 1000, 0, true, 0},
                      TimeRow{"ended_threads_took_their_waits", 1000, -40, false, 1000}),
    [](const auto &info) { return std::string(info.param.name); });

// A child that has not run yet reads zeros, as a kernel without counters
// does: it has had no time, and the clock does not fall back to wall time.
// Pinned beside its parent, it waits until the parent has read it (the
// first fork after the pinning may still run at once).
TEST(CheckTime, AChildThatHasNotRunYetHasHadNothing) {
    cpu_set_t before, one;
    sched_getaffinity(0, sizeof before, &before);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    pid_t child = 0;
    bool never_ran = false;
    for (int attempt = 0; attempt < 5 && !never_ran; ++attempt) {
        if (child > 0) kill(child, SIGKILL), waitpid(child, nullptr, 0);
        if ((child = fork()) == 0) _exit(0);
        kill(child, SIGSTOP);
        std::ifstream schedstat("/proc/" + std::to_string(child) + "/schedstat");
        long long ran = -1, waited = -1;
        never_ran = schedstat >> ran >> waited && ran == 0 && waited == 0;
    }
    CheckClock clock;
    start_clock(&clock, 1000);
    read_clock(&clock, 2000, child, false);
    sched_setaffinity(0, sizeof before, &before);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    if (!never_ran) GTEST_SKIP() << "the child ran before it could be read";
    EXPECT_FALSE(clock.wall_only);
    EXPECT_EQ(clock.had_ms, 0);
}

// Whatever the time had, a check is cut at the first of its own ceiling
// (six times its limit, never past 30 s), the run's (120 s) and, nested, a
// second before the check it runs in.
struct CeilingRow {
    const char *name;
    long long started_ms, limit_ms, run_started_ms, enclosing_ms, ceiling_ms;
};

class CheckCeiling : public ::testing::TestWithParam<CeilingRow> {};

TEST_P(CheckCeiling, FirstCeilingCuts) {
    const CeilingRow &row = GetParam();
    EXPECT_EQ(wall_ceiling_ms(row.started_ms, row.limit_ms, row.run_started_ms, row.enclosing_ms),
              row.ceiling_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckCeiling,
    ::testing::Values(CeilingRow{"five_seconds", 1000, 5000, 0, 0, 31000},
                      CeilingRow{"one_second_program", 1000, 1000, 0, 0, 7000},
                      CeilingRow{"twelve_seconds_capped", 0, 12000, 0, 0, 30000},
                      CeilingRow{"run_ceiling_first", 110000, 5000, 0, 0, 120000},
                      CeilingRow{"nested_before_enclosing", 20000, 5250, 20000, 30000, 29000},
                      CeilingRow{"enclosing_later", 0, 5250, 0, 60000, 30000}),
    [](const auto &info) { return std::string(info.param.name); });

// Where the kernel keeps no list of children, a scan of /proc finds the same.
TEST(Descendants, KernelListAndProcScanFindTheSameChildren) {
    std::set<pid_t> started;
    for (int i = 0; i < 2; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        started.insert(pid);
    }
    pid_t listed[64], scanned[64];
    int listed_count = list_children(listed, 64, false);
    int scanned_count = list_children(scanned, 64, true);
    std::set<pid_t> from_list(listed, listed + std::max(listed_count, 0));
    std::set<pid_t> from_scan(scanned, scanned + std::max(scanned_count, 0));
    for (pid_t pid : started) {
        EXPECT_EQ(from_list.count(pid), 1u);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(from_scan, from_list);
}

}  // namespace
