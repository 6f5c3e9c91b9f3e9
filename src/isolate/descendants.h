// The run's processes: everything the run's process started or adopted.
// The program forks once at its start when its launcher left it children;
// the original process only passes signals on and ends as the run ended, and
// the run is the subreaper of all it starts, so what it holds is its own and
// what the launcher started is never signalled, however process ids are
// handed out again.
#pragma once

#include <sys/types.h>

// Program start-up: returns in the run's process.
void split_off_run();

// Kills and reaps every child of the run, the adopted ones included (each
// with the group it leads, while it is not reaped), round after round until
// none is left (or a few seconds have gone by: a process stuck in the
// kernel cannot be waited for).
void end_descendants();

// Ends the run for a termination signal that came, unless one of the run's
// own processes sent it: every descendant ended, then the program as that
// signal would have ended it.
void end_run_if_terminated();

// The children of this process, from the kernel's list or, where the kernel
// keeps none, from a scan of /proc, or, where /proc is missing, of the ids
// from the run's first child on.
int list_children(pid_t *pids, int max, bool scan_proc);
