// What a forked child does before anything else, and the shell a command
// runs in: each gets back the launcher's signals and must not outlive us.
#pragma once

#include <sys/types.h>

#include "isolate/job_table.h"

// Runs the job's check and ends with its exit code.
[[noreturn]] void run_test_child(Job *job, pid_t parent);

// Waits to be killed with its check (the loop keeps the check's time).
[[noreturn]] void run_watchdog_child(pid_t parent);

// /bin/sh -c command, as system() would start it. -1 and *error when the
// spawn failed.
pid_t spawn_shell(const char *command, int *error);
