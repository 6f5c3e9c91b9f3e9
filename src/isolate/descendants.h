// Processes that outlive their check: a library's daemon, the shell of a
// command that hung and what it runs. The main process adopts them (it is
// their subreaper) and ends them, and every group it made, before it exits,
// so that nothing it started runs on; what the launcher started runs on.
#pragma once

#include <sys/types.h>

// Main process start-up.
void adopt_orphans();

// Kills every group the run made, and kills and reaps every child the run
// made, the adopted ones included, until none is left (or a few seconds have
// gone by: a process stuck in the kernel cannot be waited for). Children it
// had from the start (a launcher that forked before it exec'd us), and what
// they leave us, are not ours to end and are left alone.
void end_descendants();

// After a termination signal: ends every descendant, then ends the program
// as that signal would have ended it.
[[noreturn]] void end_run_for_signal(int signo);
// Ends the run for a termination signal that came, unless one of the run's
// own processes sent it.
void end_run_if_terminated();

// The children of this process, from the kernel's list or, where the kernel
// keeps none, from a scan of /proc, or, where /proc is missing, of the
// process ids handed out since the run's first child. -1 when none works.
int list_children(pid_t *pids, int max, bool scan_proc);
