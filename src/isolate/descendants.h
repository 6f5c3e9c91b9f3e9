// The run's processes: everything the run's process started or adopted.
// The program forks once at its start; the original process only passes
// signals on and ends as the run ended, and the run is the subreaper of all
// it starts, so what it holds is its own and what the launcher started is
// never signalled, however process ids are handed out again.
#pragma once

#include <sys/types.h>

// Program start-up: returns in the run's process (the original's child).
void split_off_run();

// Each child the run makes: where /proc is missing, its children are found
// by asking the ids handed out since the first.
void note_run_child(pid_t pid);

// Kills and reaps every child of the run, the adopted ones included (each
// with the group it leads, while it is not reaped), round after round until
// none is left (or a few seconds have gone by: a process stuck in the
// kernel cannot be waited for).
void end_descendants();

// After a termination signal: ends every descendant, then ends the program
// as that signal would have ended it.
[[noreturn]] void end_run_for_signal(int signo);
// Ends the run for a termination signal that came, unless one of the run's
// own processes sent it.
void end_run_if_terminated();

// The children of this process, from the kernel's list or, where the kernel
// keeps none, from a scan of /proc, or, where /proc is missing, of every
// process id.
int list_children(pid_t *pids, int max, bool scan_proc);
