// Runs one check body in a forked child under a 5-second limit, so that a
// library which crashes, aborts or hangs becomes a finding, not our death.
// The child writes its sections and its stderr into private channels, which
// the main process copies out when the sequence asks for the check's
// outcome. Checks that do not depend on each other may be started ahead of
// the sequence and run side by side: their output still comes out in the
// sequence's order, since it is copied out only when asked.
#pragma once

#include "isolate/check_fn.h"

// A check that nests isolated runs needs longer than they do, so that their
// outcomes reach the report: its limit in seconds for every later start of
// that body. The limit is time the check had (waits for a processor and
// stops of the run not counted); its wall-time ceiling is six times the
// limit, never past 30 s.
void set_check_time_limit(CheckFn check, unsigned seconds);

// A check body that writes no sections (a library probe): its children get
// no report channel, so nothing a library does in them reaches the report.
void isolate_without_report(CheckFn check);

// Queues a check to run as soon as the bound on children at work allows.
// Its outcome, sections and trace wait for the run_isolated call with the
// same check and argument (the first such call takes the first such check).
void start_isolated(CheckFn check, const char *arg);

// As start_isolated, but queued only once `before` (already started) has
// passed; when it fails or breaks, `check` is dropped.
void start_isolated_after(CheckFn before, const char *before_arg, CheckFn check, const char *arg);

// Drops a started check that the sequence will not ask for after all: a
// running child is killed, and what it wrote is thrown away.
void drop_isolated(CheckFn check, const char *arg);

// Waits for the started check of that body and argument (starting it now if
// none was), copies its channels out and gives its outcome. In a check child
// (a nested run) the nested child writes through its parent's channels.
TestOutcome run_isolated(CheckFn check, const char *arg);

// As run_isolated, and how the check's child ended, for a caller that tells
// a broken check's cause.
struct CheckEnd {
    TestOutcome outcome;
    bool ran;        // its child was started
    int wait_status; // raw; -1 when there is none (its time-out, a failed wait)
};
CheckEnd run_isolated_end(CheckFn check, const char *arg);

// Runs a command with /bin/sh as system() would, but gives it no more than
// the watchdog time: the raw wait status, that of the kill when it overran,
// or -1 when it could not be started.
int run_shell_command(const char *command);
