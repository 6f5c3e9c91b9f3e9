// The isolated runner: test child, watchdog child, and one wait loop that
// decides which of the two ended first.
#include "isolate/run_isolated.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "report/report.h"

static void flush_streams() {
    fflush(stdout);
    fflush(stderr);
}

// A child must not outlive the process that waits for it. When a check that
// nests a run (the audio check's libpulse probe) is itself ended by its own
// watchdog, nobody is left to kill the nested children: a hanging one would
// run on for ever, holding the report's stdout open, and a front end reading
// to the end would wait with it.
static void end_with_parent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone before the request was in place.
    if (getppid() != parent) raise(SIGKILL);
}

// _exit, not exit: the child must not run atexit handlers or library
// finalisers that belong to the parent, nor write the parent's buffers again.
[[noreturn]] static void run_test_child(CheckFn check, const char *arg) {
    int result = check(arg);
    flush_streams();
    _exit(result ? 0 : failed_check_exit_code);
}

[[noreturn]] static void run_watchdog_child() {
    sleep(watchdog_seconds);
    // _exit as well: in a nested run the watchdog is a copy of a check child,
    // and must not run the finalisers of libraries that child has loaded.
    _exit(0);
}

// The one place that turns a test child's wait status into an outcome.
static TestOutcome outcome_of_status(int status) {
    if (status == 0) return TEST_PASSED;
    if (status == failed_check_exit_code << 8) return TEST_FAILED;
    return TEST_BROKEN;
}

// Without a watchdog the test has no time limit, and a hang would stall the
// whole run. Kill the child we just made (and only it) and count it broken.
static TestOutcome abandon_unwatched_child(pid_t test_pid) {
    debug_trace("Unable to fork watchdog for test\n");
    kill(test_pid, SIGKILL);
    waitpid(test_pid, nullptr, 0);
    return TEST_BROKEN;
}

static TestOutcome wait_for_test(pid_t test_pid, pid_t watchdog_pid) {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            debug_trace("Unable to wait for test child (%d)\n", errno);
            return TEST_BROKEN;
        }
        if (pid == watchdog_pid) {
            debug_trace("Wait for test child timed out\n");
            kill(test_pid, SIGKILL);
            return TEST_BROKEN;
        }
        if (pid == test_pid) {
            kill(watchdog_pid, SIGTERM);
            return outcome_of_status(status);
        }
        // A child signalled by an earlier call, reaped now and ignored.
    }
}

TestOutcome run_isolated(CheckFn check, const char *arg) {
    flush_streams();
    pid_t parent = getpid();
    pid_t test_pid = fork();
    if (test_pid == 0) {
        end_with_parent(parent);
        run_test_child(check, arg);
    }
    if (test_pid < 0) {
        debug_trace("Unable to fork for test\n");
        return TEST_BROKEN;
    }
    pid_t watchdog_pid = fork();
    if (watchdog_pid == 0) {
        end_with_parent(parent);
        run_watchdog_child();
    }
    if (watchdog_pid < 0) return abandon_unwatched_child(test_pid);
    return wait_for_test(test_pid, watchdog_pid);
}

void reset_inherited_signals() {
    signal(SIGCHLD, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}
