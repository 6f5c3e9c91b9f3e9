// The main process keeps SIGCHLD and the termination signals blocked and
// lets them in only while its loop waits (the termination signals also while
// a write may block), so that nothing slips in between a look at the state
// and the wait; every child puts back what the launcher gave first.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>

// SIGCHLD and every signal that would end the process (unless the launcher
// ignored or blocked it, as nohup does SIGHUP) go to the loop; SIGPIPE and
// SIGXFSZ are ignored, so that a failed write shows as one. A signal the
// original process passed on is known by its sender there.
void take_process_signals(pid_t original_process);

// Around the fork at the start: the ending signals held back, then, in the
// original process, passed on to the run with their sender.
void block_for_split(sigset_t *before);
void pass_signals_to(pid_t run, const sigset_t *before);

// How often the run was continued after a stop (SIGCONT came), so far.
int run_continues();

// In every child, first thing after fork: the launcher's dispositions and
// mask, so that what the main process sends reaches it.
void restore_launcher_signals();

// A check child that nests a run takes SIGCHLD into the loop for the time of
// that run only; in the main process, which always has it, this does nothing.
struct ChildSignalLoan {
    bool taken;
    sigset_t mask;
    struct sigaction action;
};
void borrow_child_signal(ChildSignalLoan *loan);
void return_child_signal(const ChildSignalLoan *loan);

// The loop's one wait: until a signal the loop takes has come (a child may
// have ended), the monotonic time deadline_ms has passed (negative: none),
// writable_fd can take more bytes (negative: none), or one of the readable
// fds has input.
void wait_for_event(long long deadline_ms, int writable_fd, const int *readable = nullptr,
                    int readable_count = 0);

// write(2) with the termination signals let in: one that comes while the
// write blocks (a full pipe nobody reads) ends it at once, with EINTR and
// the signal noted. Elsewhere the same as write(2).
ssize_t write_until_terminated(int fd, const void *data, size_t size);

// A termination signal that came (0: none), taken: its sender (0 when the
// kernel sent it, as a terminal's ^C) in *sender.
int take_termination(pid_t *sender);
