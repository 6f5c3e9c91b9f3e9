// The isolated runner: a record per check in flight (its children, deadline
// and channels), and the loop that waits for it to end.
#include "isolate/run_isolated.h"

#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "isolate/channels.h"
#include "isolate/descendants.h"
#include "isolate/process_signals.h"
#include "isolate/report_output.h"
#include "report/report.h"

extern char **environ;

// How long a child killed on time-out may take to go before the loop stops
// waiting for it (a process stuck in the kernel never goes).
constexpr long long kill_grace_ms = 1000;

struct CheckInFlight {
    pid_t test_pid;
    pid_t watchdog_pid;    // 0 when there is none: its fork failed, or it was reaped
    long long deadline_ms; // the loop's own limit (negative: the watchdog keeps it)
    Channels channels;     // none in a nested run
    int status;
    bool ended;            // the test child was reaped
    bool timed_out;
};

// Set in a check child: runs nested in it write through its channels.
static bool in_check_child = false;

// A child must not outlive the process that waits for it. When a check that
// nests a run (the audio check's libpulse probe) is itself ended by its own
// watchdog, nobody is left to kill the nested children.
static void end_with_parent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // The parent may have gone before the request was in place.
    if (getppid() != parent) raise(SIGKILL);
}

static void become_child(pid_t parent) {
    restore_launcher_signals();
    end_with_parent(parent);
    drop_real_stdout();
}

// _exit, not exit: the child must not run atexit handlers or library
// finalisers that belong to the parent, nor write the parent's buffers again.
[[noreturn]] static void run_test_child(CheckFn check, const char *arg, pid_t parent,
                                        const Channels &channels) {
    become_child(parent);
    // A crash inside a library is a finding, not a core file in the user's
    // directory or a report to the system's crash collector.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    if (channels.report >= 0) {
        enter_channels(channels);
        in_check_child = true;
    }
    int result = check(arg);
    flush_output();
    _exit(result ? 0 : failed_check_exit_code);
}

[[noreturn]] static void run_watchdog_child(pid_t parent) {
    become_child(parent);
    sleep(watchdog_seconds);
    _exit(0);
}

// The one place that turns a test child's wait status into an outcome.
static TestOutcome outcome_of_status(int status) {
    if (status == 0) return TEST_PASSED;
    if (status == failed_check_exit_code << 8) return TEST_FAILED;
    return TEST_BROKEN;
}

static void time_out(CheckInFlight *flight) {
    flight->timed_out = true;
    kill(flight->test_pid, SIGKILL);
    flight->deadline_ms = monotonic_ms() + kill_grace_ms;
}

static void note_exit(CheckInFlight *flight, pid_t pid, int status) {
    if (pid == flight->test_pid) {
        flight->status = status;
        flight->ended = true;
    } else if (pid == flight->watchdog_pid) {
        flight->watchdog_pid = 0;
        if (!flight->ended) time_out(flight);
    }
    // Any other pid: a process a library left behind, adopted and now gone.
}

// False when the wait itself fails. No child left at all is no failure once
// the test child has been reaped.
static bool reap_children(CheckInFlight *flight) {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0)
            note_exit(flight, pid, status);
        else if (pid == 0)
            return true;
        else if (errno != EINTR)
            return errno == ECHILD && flight->ended;
    }
}

// Without a watchdog (its fork failed, as under a process limit) the loop
// keeps the time itself: the test still gets its 5 seconds and its real
// outcome.
static bool start_check(CheckInFlight *flight, CheckFn check, const char *arg) {
    flush_output();
    pid_t parent = getpid();
    flight->test_pid = fork();
    if (flight->test_pid == 0) run_test_child(check, arg, parent, flight->channels);
    if (flight->test_pid < 0) {
        debug_trace("Unable to fork for test\n");
        return false;
    }
    flight->deadline_ms = -1;
    flight->watchdog_pid = fork();
    if (flight->watchdog_pid == 0) run_watchdog_child(parent);
    if (flight->watchdog_pid < 0) {
        debug_trace("Unable to fork watchdog for test\n");
        flight->watchdog_pid = 0;
        flight->deadline_ms = monotonic_ms() + watchdog_seconds * 1000;
    }
    return true;
}

static void end_watchdog(CheckInFlight *flight) {
    if (!flight->watchdog_pid) return;
    kill(flight->watchdog_pid, SIGKILL);
    waitpid(flight->watchdog_pid, nullptr, 0);
    flight->watchdog_pid = 0;
}

static TestOutcome finish_check(CheckInFlight *flight) {
    while (!flight->ended) {
        if (!reap_children(flight)) {
            debug_trace("Unable to wait for test child (%d)\n", errno);
            return TEST_BROKEN;
        }
        if (flight->ended) break;
        if (flight->deadline_ms >= 0 && monotonic_ms() >= flight->deadline_ms) {
            if (flight->timed_out) break;
            time_out(flight);
            continue;
        }
        wait_for_event(flight->deadline_ms, -1);
        end_run_if_terminated();
    }
    end_watchdog(flight);
    bool died = flight->timed_out || !WIFEXITED(flight->status);
    copy_channels_out(flight->channels, died);
    // After the child's own lines, where a sequential trace has it.
    if (flight->timed_out) debug_trace("Wait for test child timed out\n");
    return flight->timed_out ? TEST_BROKEN : outcome_of_status(flight->status);
}

TestOutcome run_isolated(CheckFn check, const char *arg) {
    CheckInFlight flight = {};
    if (!in_check_child && !open_channels(&flight.channels)) {
        debug_trace("Unable to create channels for test\n");
        return TEST_BROKEN;
    }
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    TestOutcome outcome = start_check(&flight, check, arg) ? finish_check(&flight) : TEST_BROKEN;
    return_child_signal(&loan);
    close_channels(&flight.channels);
    return outcome;
}

static pid_t spawn_shell(const char *command) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t mask, defaults;
    launcher_signal_state(&mask, &defaults);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char *argv[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                    const_cast<char *>(command), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// What the shell starts and leaves behind when it is killed is adopted and
// ended with the rest at exit.
int run_shell_command(const char *command) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    pid_t pid = spawn_shell(command);
    long long deadline = monotonic_ms() + watchdog_seconds * 1000;
    int status = -1;
    while (pid > 0) {
        pid_t got = waitpid(pid, &status, WNOHANG);
        if (got != 0) break;
        if (monotonic_ms() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        wait_for_event(deadline, -1);
        end_run_if_terminated();
    }
    return_child_signal(&loan);
    return status;
}
