// Handlers only note what came; the loop acts on it after its wait, and a
// write that blocked acts on a termination at once.
#include "isolate/signals.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>

#include "isolate/check_time.h"

// Signals whose default action ends a process, beside the real-time ones.
// KILL and STOP cannot be caught; faults of our own are told apart by their
// code (the kernel's) and handed back to the action they came with.
static const int ending_signals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE, SIGUSR1, SIGSEGV,
    SIGUSR2, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,  SIGPWR,  SIGSYS};
static const int fault_signals[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
// Ignored, so that a failed write shows as one.
static const int ignored_signals[] = {SIGPIPE, SIGXFSZ};

// What the launcher gave, and the handlers' notes. The handlers run one at
// a time (each blocks all signals).
static struct {
    bool remembered;
    sigset_t launcher_mask;
    struct sigaction launcher_actions[NSIG];
    sigset_t loop_signals, taken_endings; // blocked outside the wait; the ending ones
    volatile sig_atomic_t came[NSIG];     // per termination signal, and its sender
    volatile pid_t sender[NSIG];
    volatile sig_atomic_t continues;
    pid_t original;    // the original process, which passes signals on (0: none)
    pid_t run_process; // in the original: where they go
    // Armed while a write of ours may block: a termination signal jumps out
    // of it, even one that came just before the write began.
    sigjmp_buf *volatile write_escape;
} notes;

template <size_t count> static bool listed(const int (&list)[count], int signo) {
    for (int each : list)
        if (each == signo) return true;
    return false;
}

// Only a signal sent by a process carries a sender; one the original passed
// on carries its sender as its value.
static pid_t sender_of(const siginfo_t *info) {
    if (!info || info->si_code > 0) return 0;
    if (info->si_code == SI_QUEUE && notes.original && info->si_pid == notes.original)
        return info->si_value.sival_int;
    return info->si_pid;
}

// A fault of our own (or abort()) goes the way it would have gone.
static bool own_fault(int signo, const siginfo_t *info) {
    if (!listed(fault_signals, signo) || (info && info->si_code <= 0 && info->si_pid != getpid()))
        return false;
    sigaction(signo, &notes.launcher_actions[signo], nullptr);
    return true;
}

static void note_child(int, siginfo_t *, void *) {}
static void note_continued(int, siginfo_t *, void *) { notes.continues = notes.continues + 1; }
int run_continues() { return notes.continues; }

static void note_termination(int signo, siginfo_t *info, void *) {
    if (own_fault(signo, info)) return;
    notes.sender[signo] = sender_of(info);
    notes.came[signo] = 1;
    if (sigjmp_buf *escape = notes.write_escape) siglongjmp(*escape, 1);
}

static void pass_on(int signo, siginfo_t *info, void *) {
    if (own_fault(signo, info)) return;
    sigval value;
    value.sival_int = sender_of(info);
    sigqueue(notes.run_process, signo, value);
}

static void remember_launcher() {
    if (notes.remembered) return;
    sigprocmask(SIG_SETMASK, nullptr, &notes.launcher_mask);
    for (int signo = 1; signo < NSIG; ++signo)
        sigaction(signo, nullptr, &notes.launcher_actions[signo]);
    sigemptyset(&notes.loop_signals);
    sigemptyset(&notes.taken_endings);
    // What the launcher ignored (nohup's SIGHUP) or blocked stays so.
    for (int signo = 1; signo < NSIG; ++signo)
        if ((listed(ending_signals, signo) || (signo >= SIGRTMIN && signo <= SIGRTMAX)) &&
            notes.launcher_actions[signo].sa_handler != SIG_IGN &&
            !sigismember(&notes.launcher_mask, signo))
            sigaddset(&notes.taken_endings, signo);
    notes.remembered = true;
}

static void take(int signo, void (*handler)(int, siginfo_t *, void *)) {
    struct sigaction action = {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigfillset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
    sigaddset(&notes.loop_signals, signo);
}

static void take_endings(void (*handler)(int, siginfo_t *, void *)) {
    for (int signo = 1; signo < NSIG; ++signo)
        if (sigismember(&notes.taken_endings, signo)) take(signo, handler);
}

void take_process_signals(pid_t original_process) {
    remember_launcher();
    notes.original = original_process;
    for (int signo : ignored_signals) signal(signo, SIG_IGN);
    take(SIGCHLD, note_child);
    take(SIGCONT, note_continued);
    take_endings(note_termination);
    sigprocmask(SIG_BLOCK, &notes.loop_signals, nullptr);
}

void block_for_split(sigset_t *before) {
    remember_launcher();
    sigprocmask(SIG_BLOCK, &notes.taken_endings, before);
}

void pass_signals_to(pid_t run, const sigset_t *before) {
    notes.run_process = run;
    take_endings(pass_on);
    sigprocmask(SIG_SETMASK, before, nullptr);
}

void restore_launcher_signals() {
    for (int signo = 1; signo < NSIG; ++signo)
        if (sigismember(&notes.loop_signals, signo) || listed(ignored_signals, signo))
            sigaction(signo, &notes.launcher_actions[signo], nullptr);
    sigprocmask(SIG_SETMASK, &notes.launcher_mask, nullptr);
    sigemptyset(&notes.loop_signals);
    sigemptyset(&notes.taken_endings);
}

void borrow_child_signal(ChildSignalLoan *loan) {
    remember_launcher();
    loan->taken = !sigismember(&notes.loop_signals, SIGCHLD);
    if (!loan->taken) return;
    sigaction(SIGCHLD, nullptr, &loan->action);
    sigprocmask(SIG_SETMASK, nullptr, &loan->mask);
    take(SIGCHLD, note_child);
    sigprocmask(SIG_BLOCK, &notes.loop_signals, nullptr);
}

void return_child_signal(const ChildSignalLoan *loan) {
    if (!loan->taken) return;
    sigdelset(&notes.loop_signals, SIGCHLD);
    sigaction(SIGCHLD, &loan->action, nullptr);
    sigprocmask(SIG_SETMASK, &loan->mask, nullptr);
}

static void let_in_termination(sigset_t *mask) {
    for (int signo = 1; signo < NSIG; ++signo)
        if (sigismember(&notes.taken_endings, signo)) sigdelset(mask, signo);
}

void wait_for_event(long long deadline_ms, int writable_fd, const int *readable,
                    int readable_count) {
    sigset_t during;
    sigprocmask(SIG_SETMASK, nullptr, &during);
    if (sigismember(&notes.loop_signals, SIGCHLD)) sigdelset(&during, SIGCHLD);
    let_in_termination(&during);
    timespec timeout, *limit = nullptr;
    if (deadline_ms >= 0) {
        long long left = deadline_ms - monotonic_ms();
        if (left < 0) left = 0;
        timeout = {static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        limit = &timeout;
    }
    pollfd targets[2 * 96 + 1];
    nfds_t count = 0;
    if (writable_fd >= 0) targets[count++] = {writable_fd, POLLOUT, 0};
    for (int i = 0; i < readable_count && count < sizeof targets / sizeof targets[0]; ++i)
        targets[count++] = {readable[i], POLLIN, 0};
    ppoll(targets, count, limit, &during);
}

ssize_t write_until_terminated(int fd, const void *data, size_t size) {
    // A child takes no termination signal: nothing to let in.
    if (sigisemptyset(&notes.taken_endings)) return write(fd, data, size);
    sigset_t before, during;
    sigprocmask(SIG_SETMASK, nullptr, &before);
    during = before;
    let_in_termination(&during);
    sigjmp_buf escape;
    // The jump puts back the mask as it was here.
    if (sigsetjmp(escape, 1)) {
        notes.write_escape = nullptr;
        errno = EINTR;
        return -1;
    }
    notes.write_escape = &escape;
    sigprocmask(SIG_SETMASK, &during, nullptr);
    ssize_t n = write(fd, data, size);
    // Disarmed at once: a jump from here on would lose what was written, and
    // a signal the run sent itself is ignored and the write tried again.
    notes.write_escape = nullptr;
    int error = errno;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return n;
}

// A signal still blocked is taken now, before the loop reaps: a sender that
// has since ended is a zombie until then, and can still be told apart.
int take_termination(pid_t *sender) {
    timespec now = {0, 0};
    siginfo_t info;
    for (int signo; (signo = sigtimedwait(&notes.taken_endings, &info, &now)) > 0;)
        note_termination(signo, &info, nullptr);
    for (int signo = 1; signo < NSIG; ++signo) {
        if (!notes.came[signo]) continue;
        notes.came[signo] = 0;
        *sender = notes.sender[signo];
        return signo;
    }
    return 0;
}
