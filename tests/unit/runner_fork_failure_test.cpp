// Linked with --wrap=fork: the runner when the system refuses a fork.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

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

// Without a watchdog the test child would run unbounded: it is killed and
// reaped at once, and nothing is signalled but that child.
TEST(RunnerForkFailure, NoWatchdogKillsAndReapsTheTestChild) {
    forks_until_failure = 1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run_isolated(sleeps_long, nullptr), TEST_BROKEN);
    double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    forks_until_failure = -1;
    EXPECT_LT(waited, 2.0);
    // Already reaped: no such child is left.
    EXPECT_EQ(waitpid(last_child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
