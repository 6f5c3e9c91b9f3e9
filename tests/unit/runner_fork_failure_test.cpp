// Linked with --wrap=fork: the runner when the system refuses a fork.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "isolate/run_isolated.h"

extern "C" pid_t __real_fork();
extern "C" pid_t __wrap_fork();

static int forks_until_failure = -1;  // -1: never fail
static pid_t last_child = 0;

extern "C" pid_t __wrap_fork() {
    if (forks_until_failure == 0) {
        errno = EAGAIN;
        return -1;
    }
    if (forks_until_failure > 0) --forks_until_failure;
    pid_t pid = __real_fork();
    if (pid > 0) last_child = pid;
    return pid;
}

namespace {

int sleeps_long(const char *) {
    sleep(60);
    return 1;
}

TEST(RunnerForkFailure, NoTestChildMeansBroken) {
    forks_until_failure = 0;
    EXPECT_EQ(run_isolated(sleeps_long, nullptr), TEST_BROKEN);
    forks_until_failure = -1;
}

int returns_one(const char *) { return 1; }
int returns_zero(const char *) { return 0; }

struct Unwatched {
    const char *name;
    CheckFn body;
    TestOutcome expected;
    double min_seconds, max_seconds;
};

class RunnerWithoutWatchdog : public ::testing::TestWithParam<Unwatched> {};

// Without a watchdog the runner keeps the 5 seconds itself: a test has its
// real outcome, broken only when it overran, and its child is reaped.
TEST_P(RunnerWithoutWatchdog, KeepsTheTimeItself) {
    forks_until_failure = 1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run_isolated(GetParam().body, nullptr), GetParam().expected);
    double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    forks_until_failure = -1;
    EXPECT_GE(waited, GetParam().min_seconds);
    EXPECT_LT(waited, GetParam().max_seconds);
    EXPECT_EQ(waitpid(last_child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RunnerWithoutWatchdog,
    ::testing::Values(Unwatched{"passes", returns_one, TEST_PASSED, 0.0, 2.0},
                      Unwatched{"fails", returns_zero, TEST_FAILED, 0.0, 2.0},
                      Unwatched{"overruns", sleeps_long, TEST_BROKEN, 4.9, 7.0}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
