// What is the run's is known by construction: the program forks once at its
// start, and the child, the run, is the subreaper of everything it starts.
// It had no children before, so every child it has, forked or adopted, is
// the run's; what the launcher started (before or during the run) is the
// original process's or the launcher's, and never the run's to signal.
#include "isolate/descendants.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "isolate/check_time.h"
#include "isolate/proc_stat.h"
#include "isolate/process_signals.h"
#include "report/report.h"

constexpr int max_listed = 256;
constexpr long long end_wait_ms = 2000;

// Ends this process as the signal would.
[[noreturn]] static void die_by_signal(int signo) {
    // The status says which signal; a core file would say nothing of use.
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

// Children a launcher forked before it exec'd us are ours from the start.
static bool has_children() {
    siginfo_t info;
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// The original process waits for the run, passing signals on, and ends as
// it ended. A process that has no children at its start needs none: all it
// will have is the run's (and under a tight process limit, a process more
// would take a check's). Where no fork can be had, one process is both.
void split_off_run() {
    if (!has_children()) {
        take_process_signals(0);
        prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
        return;
    }
    sigset_t before;
    block_for_split(&before);
    pid_t original = getpid();
    pid_t run = fork();
    if (run > 0) {
        pass_signals_to(run, &before);
        int status = 0;
        while (waitpid(run, &status, 0) < 0)
            if (errno != EINTR) _exit(127);
        if (WIFSIGNALED(status)) die_by_signal(WTERMSIG(status));
        _exit(WEXITSTATUS(status));
    }
    if (run == 0) {
        // An original killed outright cannot pass anything on: the run ends.
        prctl(PR_SET_PDEATHSIG, SIGHUP, 0, 0, 0);
        if (getppid() != original) raise(SIGHUP);
    }
    take_process_signals(run == 0 ? original : 0);
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
}

static int parse_pids(const char *text, pid_t *pids, int max) {
    int count = 0;
    for (char *end; count < max; text = end) {
        long pid = strtol(text, &end, 10);
        if (end == text) break;
        if (pid > 0) pids[count++] = static_cast<pid_t>(pid);
    }
    return count;
}

// Only a single-threaded process can be described by the list of its main
// thread; the run's process is one.
static int read_children_file(pid_t *pids, int max) {
    char path[64];
    snprintf(path, sizeof path, "/proc/self/task/%d/children", static_cast<int>(getpid()));
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[4096];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n < 0) return -1;
    text[n] = '\0';
    return parse_pids(text, pids, max);
}

// An empty /proc, or another file system in its place, cannot be scanned.
static int scan_proc(pid_t *pids, int max) {
    pid_t self = getpid();
    if (proc_parent(self) < 0) return -1;
    DIR *proc = opendir("/proc");
    if (!proc) return -1;
    int count = 0;
    while (const dirent *entry = readdir(proc)) {
        if (count == max) break;
        pid_t pid = atoi(entry->d_name);
        if (pid > 0 && proc_parent(pid) == self) pids[count++] = pid;
    }
    closedir(proc);
    return count;
}

static bool is_child(pid_t pid) {
    siginfo_t info;
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// The kernel's largest maximum; the real one is in /proc, which is missing.
constexpr pid_t largest_pid_max = 4194304;

// Where the scan of ids starts: the run's first child. Only a place to
// start asking; no id is signalled for being in the range.
static pid_t first_child = 0;
void note_run_child(pid_t pid) {
    if (!first_child && pid > 0) first_child = pid;
}

// The newest id handed out: that of a child made for the purpose.
static pid_t id_frontier() {
    pid_t marker = fork();
    if (marker == 0) _exit(0);
    if (marker < 0) return -1;
    waitpid(marker, nullptr, 0);
    return marker;
}

static int scan_range(pid_t from, pid_t to, pid_t *pids, int count, int max) {
    for (pid_t pid = from; pid <= to && count < max; ++pid)
        if (is_child(pid)) pids[count++] = pid;
    return count;
}

// Without /proc: the ids from the run's first child on (all of them once
// ids wrapped) asked whether each is a child of ours.
static int scan_ids(pid_t *pids, int max) {
    if (!first_child) return 0;
    pid_t frontier = id_frontier();
    if (frontier < first_child) return scan_range(2, largest_pid_max, pids, 0, max);
    return scan_range(first_child, frontier, pids, 0, max);
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

void end_run_for_signal(int signo) {
    end_descendants();
    die_by_signal(signo);
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
        if (!sender || !sent_from_run(sender)) end_run_for_signal(signo);
        debug_trace("Ignored signal %d sent by process %d of the run\n", signo,
                    static_cast<int>(sender));
    }
}
