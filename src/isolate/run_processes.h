// What the run made, told apart from what the launcher has. Every child the
// run forks or spawns leads a process group of its own: a library's or a
// script's kill(0, ...) then reaches its own check alone, and the run can end
// each group as a whole, which needs neither /proc nor the subreaper.
// Groups, not sessions: a new session would cut a library off the terminal.
#pragma once

#include <sys/types.h>

// In a child the run made, first thing after fork.
void lead_own_group();

// In the parent after a fork or spawn: the child in a group of its own (both
// sides ask, so neither a kill nor an exec can come between), remembered.
void note_child_group(pid_t child);

// After a child of ours was reaped: its group is forgotten once empty, so
// that its number, free again, is never signalled.
void note_child_reaped(pid_t child);

// Ends every group the run made that still has a process in it.
void kill_run_groups();

// A child of ours that the run made: one of its groups, or adopted from a
// group made during the run but not the launcher's own (a daemon that
// called setsid() leads one). A process the launcher left us is neither.
bool child_made_by_run(pid_t child);

// The sender of a signal: in one of the run's groups, or, where /proc tells
// the parents, descended from a child the run made.
bool sent_from_run(pid_t sender);

// Where /proc cannot list children: the pids handed out since the run made
// its first child, each asked whether it is a child of ours.
int scan_children_made_since_start(pid_t *pids, int max);
