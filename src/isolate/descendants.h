// Processes that outlive their check: a library's daemon, the shell of a
// command that hung and what it runs. The main process adopts them (it is
// their subreaper) and ends them all before it exits, so that nothing it
// started runs on.
#pragma once

#include <sys/types.h>

// Main process start-up. Children it already has (a launcher that forked
// before it exec'd us) are not ours to end and are left alone.
void adopt_orphans();

// Kills and reaps every child the main process has, the adopted ones
// included, until none is left (or a few seconds have gone by: a process
// stuck in the kernel cannot be waited for).
void end_descendants();

// After a termination signal: ends every descendant, then ends the program
// as that signal would have ended it.
[[noreturn]] void end_run_for_signal(int signo);
void end_run_if_terminated();

// The children of this process, from the kernel's list or, where the kernel
// keeps none, from a scan of /proc. -1 when neither can be read.
int list_children(pid_t *pids, int max, bool scan_proc);
