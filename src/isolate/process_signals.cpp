// Handlers only note what came; the loop acts on it after its wait, and a
// write that blocked acts on a termination at once.
#include "isolate/process_signals.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>

#include "isolate/monotonic_clock.h"

static const int termination_signals[] = {SIGTERM, SIGINT, SIGHUP};

// Ignored, so that a failed write shows as one: a reader that went away, a
// report past the file-size limit.
static const int ignored_signals[] = {SIGPIPE, SIGXFSZ};

static sigset_t launcher_mask;
constexpr int ignored_count = sizeof ignored_signals / sizeof ignored_signals[0];
static struct sigaction launcher_ignored_actions[ignored_count];
static bool launcher_remembered = false;
// Blocked outside the wait, let in during it.
static sigset_t loop_signals;
// Per termination signal: whether it came, and its sender. The handlers
// run one at a time (each blocks all signals).
static volatile sig_atomic_t termination_came[3];
static volatile pid_t termination_from[3];

static int termination_index(int signo) {
    for (int i = 0; i < 3; ++i)
        if (termination_signals[i] == signo) return i;
    return -1;
}

// Armed while a write of ours may block: a termination signal jumps out of
// it, even one that came just before the write began.
static sigjmp_buf *volatile write_escape = nullptr;

static void note_child(int) {}
static void note_termination(int signo, siginfo_t *info, void *) {
    int i = termination_index(signo);
    if (i < 0) return;
    // Only a signal sent by a process carries a sender.
    termination_from[i] = info && info->si_code <= 0 ? info->si_pid : 0;
    termination_came[i] = 1;
    if (sigjmp_buf *escape = write_escape) siglongjmp(*escape, 1);
}

// A signal still blocked is taken now, before the loop reaps: a sender that
// has since ended is a zombie until then, and can still be told apart.
static void take_pending_terminations() {
    sigset_t pending;
    sigemptyset(&pending);
    for (int signo : termination_signals)
        if (sigismember(&loop_signals, signo)) sigaddset(&pending, signo);
    timespec now = {0, 0};
    siginfo_t info;
    for (int signo; (signo = sigtimedwait(&pending, &info, &now)) > 0;)
        note_termination(signo, &info, nullptr);
}

static void remember_launcher() {
    if (launcher_remembered) return;
    sigprocmask(SIG_SETMASK, nullptr, &launcher_mask);
    for (int i = 0; i < ignored_count; ++i)
        sigaction(ignored_signals[i], nullptr, &launcher_ignored_actions[i]);
    sigemptyset(&loop_signals);
    launcher_remembered = true;
}

static void take_action(int signo, struct sigaction *action) {
    sigfillset(&action->sa_mask);
    sigaction(signo, action, nullptr);
    sigaddset(&loop_signals, signo);
}

static void take(int signo, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    take_action(signo, &action);
}

static void take_with_sender(int signo) {
    struct sigaction action = {};
    action.sa_sigaction = note_termination;
    action.sa_flags = SA_SIGINFO;
    take_action(signo, &action);
}

void take_process_signals() {
    remember_launcher();
    for (int signo : ignored_signals) signal(signo, SIG_IGN);
    take(SIGCHLD, note_child);
    for (int signo : termination_signals) {
        struct sigaction inherited;
        sigaction(signo, nullptr, &inherited);
        if (inherited.sa_handler != SIG_IGN) take_with_sender(signo);
    }
    sigprocmask(SIG_BLOCK, &loop_signals, nullptr);
}

void restore_launcher_signals() {
    if (sigismember(&loop_signals, SIGCHLD)) signal(SIGCHLD, SIG_DFL);
    for (int signo : termination_signals)
        if (sigismember(&loop_signals, signo)) signal(signo, SIG_DFL);
    for (int i = 0; i < ignored_count; ++i)
        sigaction(ignored_signals[i], &launcher_ignored_actions[i], nullptr);
    sigprocmask(SIG_SETMASK, &launcher_mask, nullptr);
    sigemptyset(&loop_signals);
}

void launcher_signal_state(sigset_t *mask, sigset_t *defaults) {
    remember_launcher();
    *mask = launcher_mask;
    sigemptyset(defaults);
    for (int i = 0; i < ignored_count; ++i)
        if (launcher_ignored_actions[i].sa_handler != SIG_IGN)
            sigaddset(defaults, ignored_signals[i]);
}

void borrow_child_signal(ChildSignalLoan *loan) {
    remember_launcher();
    loan->taken = !sigismember(&loop_signals, SIGCHLD);
    if (!loan->taken) return;
    sigaction(SIGCHLD, nullptr, &loan->action);
    sigprocmask(SIG_SETMASK, nullptr, &loan->mask);
    take(SIGCHLD, note_child);
    sigprocmask(SIG_BLOCK, &loop_signals, nullptr);
}

void return_child_signal(const ChildSignalLoan *loan) {
    if (!loan->taken) return;
    sigdelset(&loop_signals, SIGCHLD);
    sigaction(SIGCHLD, &loan->action, nullptr);
    sigprocmask(SIG_SETMASK, &loan->mask, nullptr);
}

static bool takes_termination() {
    for (int signo : termination_signals)
        if (sigismember(&loop_signals, signo)) return true;
    return false;
}

static void let_in_termination(sigset_t *mask) {
    for (int signo : termination_signals)
        if (sigismember(&loop_signals, signo)) sigdelset(mask, signo);
}

void wait_for_event(long long deadline_ms, int writable_fd) {
    sigset_t during;
    sigprocmask(SIG_SETMASK, nullptr, &during);
    if (sigismember(&loop_signals, SIGCHLD)) sigdelset(&during, SIGCHLD);
    let_in_termination(&during);
    timespec timeout;
    timespec *limit = nullptr;
    if (deadline_ms < 0) allow_wait_ms(-1);
    if (deadline_ms >= 0) {
        long long left = deadline_ms - monotonic_ms();
        if (left < 0) left = 0;
        allow_wait_ms(left);
        timeout.tv_sec = static_cast<time_t>(left / 1000);
        timeout.tv_nsec = static_cast<long>(left % 1000) * 1000000;
        limit = &timeout;
    }
    pollfd target = {writable_fd, POLLOUT, 0};
    ppoll(&target, writable_fd >= 0 ? 1 : 0, limit, &during);
}

ssize_t write_until_terminated(int fd, const void *data, size_t size) {
    // A child takes no termination signal: nothing to let in.
    if (!takes_termination()) return write(fd, data, size);
    sigset_t before, during;
    sigprocmask(SIG_SETMASK, nullptr, &before);
    during = before;
    let_in_termination(&during);
    sigjmp_buf escape;
    // The jump puts back the mask as it was here.
    if (sigsetjmp(escape, 1)) {
        write_escape = nullptr;
        errno = EINTR;
        return -1;
    }
    write_escape = &escape;
    sigprocmask(SIG_SETMASK, &during, nullptr);
    ssize_t n = write(fd, data, size);
    // Disarmed at once: a jump from here on would lose what was written, and
    // a signal the run sent itself is ignored and the write tried again.
    write_escape = nullptr;
    int error = errno;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return n;
}

int termination_requested() {
    take_pending_terminations();
    for (int i = 0; i < 3; ++i)
        if (termination_came[i]) return termination_signals[i];
    return 0;
}

pid_t termination_sender(int signo) {
    int i = termination_index(signo);
    return i < 0 ? 0 : termination_from[i];
}

void forget_termination(int signo) {
    int i = termination_index(signo);
    if (i >= 0) termination_came[i] = 0;
}
