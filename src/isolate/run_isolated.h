// Runs one check body in a forked child under a 5-second watchdog, so that a
// library which crashes, aborts or hangs becomes a finding, not our death.
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

TestOutcome run_isolated(CheckFn check, const char *arg);

// Undo signal state inherited from whoever started us. With SIGCHLD ignored
// the kernel reaps our children and every wait fails; with SIGTERM blocked or
// ignored every watchdog outlives its run and holds the report's pipe open.
void reset_inherited_signals();
