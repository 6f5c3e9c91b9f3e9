// What a check is and what the runner makes of it: the types every layer
// above the runner shares.
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
