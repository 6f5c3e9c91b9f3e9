// It had no children before, so every child the run has, forked or
// adopted, is the run's; what the launcher started (before or during the
// run) is the original process's or the launcher's, never the run's to
// signal.
#include "isolate/descendants.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "isolate/runner.h"
#include "isolate/signals.h"
#include "report/report.h"

constexpr int max_listed = 256;
constexpr long long end_wait_ms = 2000;

// Ends this process as the signal would; the status says which signal, and
// a core file would say nothing of use.
[[noreturn]] static void die_by_signal(int signo) {
    struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    signal(signo, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signo);
    _exit(128 + signo);
}

// Whether pid is a child of ours (any child, for P_ALL), not yet reaped.
static bool is_child(pid_t pid, idtype_t which = P_PID) {
    siginfo_t info;
    return (pid > 0 || which == P_ALL) &&
           waitid(which, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// A report write that blocks lets termination signals in; one from outside
// ends the run there, one of the run's own lets the write go on.
static ssize_t write_for_report(int fd, const void *data, size_t size) {
    ssize_t n = write_until_terminated(fd, data, size);
    if (n < 0 && errno == EINTR) {
        end_run_if_terminated();
        errno = EINTR;
    }
    return n;
}

static void wait_writable(int fd) {
    wait_for_event(-1, fd);
    end_run_if_terminated();
}

// Children a launcher forked before it exec'd us are ours from the start;
// a process with none needs no fork (under a tight process limit, a
// process more would take a check's). Where no fork can be had, one
// process is both.
void split_off_run() {
    set_output_waits({write_for_report, wait_writable});
    pid_t original = 0;
    if (is_child(0, P_ALL)) {
        sigset_t before;
        block_for_split(&before);
        original = getpid();
        pid_t run = fork();
        if (run > 0) {
            pass_signals_to(run, &before);
            int status = 0;
            while (waitpid(run, &status, 0) < 0)
                if (errno != EINTR) _exit(127);
            if (WIFSIGNALED(status)) die_by_signal(WTERMSIG(status));
            _exit(WEXITSTATUS(status));
        }
        // An original killed outright cannot pass anything on: the run ends.
        if (run == 0) prctl(PR_SET_PDEATHSIG, SIGHUP, 0, 0, 0);
        if (run == 0 && getppid() != original) raise(SIGHUP);
        if (run < 0) original = 0;
    }
    take_process_signals(original);
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
}

// Only a single-threaded process is described by the list of its main
// thread; the run's process is one.
static int read_children_file(pid_t *pids, int max) {
    char path[64], text[4096];
    snprintf(path, sizeof path, "/proc/self/task/%d/children", static_cast<int>(getpid()));
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n < 0) return -1;
    text[n] = '\0';
    int count = 0;
    char *end;
    for (const char *at = text; count < max; at = end) {
        long pid = strtol(at, &end, 10);
        if (end == at) break;
        if (pid > 0) pids[count++] = static_cast<pid_t>(pid);
    }
    return count;
}

// An empty /proc, or another file system in its place, cannot be scanned.
static int scan_proc(pid_t *pids, int max) {
    pid_t self = getpid();
    DIR *proc = proc_parent(self) < 0 ? nullptr : opendir("/proc");
    if (!proc) return -1;
    int count = 0;
    while (const dirent *entry = readdir(proc)) {
        pid_t pid = atoi(entry->d_name);
        if (count < max && pid > 0 && proc_parent(pid) == self) pids[count++] = pid;
    }
    closedir(proc);
    return count;
}

// The kernel's largest maximum; the real one is in /proc, which is missing.
constexpr pid_t largest_pid_max = 4194304;

// Without /proc: the ids from the run's first child to the newest one
// handed out (that of a child made for the purpose; all of them once ids
// wrapped) asked whether each is a child of ours. The range is only where
// to ask; no id is signalled for being in it.
static int scan_ids(pid_t *pids, int max) {
    pid_t first = runner.first_child;
    if (!first) return 0;
    pid_t frontier = fork();
    if (frontier == 0) _exit(0);
    if (frontier > 0) waitpid(frontier, nullptr, 0);
    pid_t from = frontier < first ? 2 : first, to = frontier < first ? largest_pid_max : frontier;
    int count = 0;
    for (pid_t pid = from; pid <= to && count < max; ++pid)
        if (is_child(pid)) pids[count++] = pid;
    return count;
}

int list_children(pid_t *pids, int max, bool scan) {
    int count = scan ? -1 : read_children_file(pids, max);
    if (count < 0) count = scan_proc(pids, max);
    return count >= 0 ? count : scan_ids(pids, max);
}

// A listed child is ours until we reap it, so neither its id nor that of
// the group it leads can have been handed to another process meanwhile.
static int kill_children() {
    pid_t pids[max_listed];
    int count = list_children(pids, max_listed, false);
    for (int i = 0; i < count; ++i) {
        if (getpgid(pids[i]) == pids[i]) kill(-pids[i], SIGKILL);
        kill(pids[i], SIGKILL);
    }
    return count;
}

void end_descendants() {
    long long give_up = monotonic_ms() + end_wait_ms;
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        // Killing a child hands its own children to us: go round until none.
        if (kill_children() == 0 || monotonic_ms() >= give_up) return;
        wait_for_event(give_up, -1);
    }
}

// Parents are known from /proc; without it, a child of ours, or a process
// in a group or session one of them leads, is the run's.
static bool sent_from_run(pid_t sender) {
    pid_t self = getpid();
    for (int hops = 0; sender > 1 && sender != self && hops < 64; ++hops) {
        pid_t parent = proc_parent(sender);
        if (parent == self) return true;
        if (parent < 0)
            return is_child(sender) || is_child(getpgid(sender)) || is_child(getsid(sender));
        sender = parent;
    }
    return false;
}

// A termination signal from one of the run's own processes (a library that
// signals its parent, or every process it may) is no request of the launcher.
void end_run_if_terminated() {
    pid_t sender = 0;
    // Taken first: the trace's own write may come back here.
    while (int signo = take_termination(&sender)) {
        if (!sender || !sent_from_run(sender)) {
            end_descendants();
            die_by_signal(signo);
        }
        debug_trace("Ignored signal %d sent by process %d of the run\n", signo,
                    static_cast<int>(sender));
    }
}
