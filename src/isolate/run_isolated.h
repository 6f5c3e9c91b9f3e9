// Runs one check body in a forked child under a 5-second limit, so that a
// library which crashes, aborts or hangs becomes a finding, not our death.
// The child writes its sections and its stderr into private channels, which
// the main process copies out when the check is over; the main process waits
// in one loop for child exits, deadlines and termination signals.
#pragma once

// A check body: nonzero when it ran to its end, 0 when it failed.
using CheckFn = int (*)(const char *arg);

enum TestOutcome : int {
    TEST_PASSED = 0,
    TEST_FAILED = 1,
    TEST_BROKEN = 2,
};

// Exit code of a test child whose check returned 0. Not 1, so that a library
// calling exit(1) reads as broken rather than as a clean failure.
constexpr int failed_check_exit_code = 163;
constexpr unsigned watchdog_seconds = 5;

// In the main process the check gets channels of its own; in a check child
// (a nested run) the nested child writes through its parent's channels.
TestOutcome run_isolated(CheckFn check, const char *arg);

// Runs a command with /bin/sh as system() would, but gives it no more than
// the watchdog time: the raw wait status, that of the kill when it overran,
// or -1 when it could not be started.
int run_shell_command(const char *command);
