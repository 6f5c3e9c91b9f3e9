// Ending descendants: every group the run made as a whole, then, among the
// children we have (our own and those adopted as subreaper), each one the
// run made, until none is left. What the launcher left us runs on.
#include "isolate/descendants.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "isolate/monotonic_clock.h"
#include "isolate/proc_stat.h"
#include "isolate/process_signals.h"
#include "isolate/run_processes.h"
#include "report/report.h"

constexpr int max_listed = 256;
constexpr long long end_wait_ms = 2000;

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
// thread; the main process is one.
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

int list_children(pid_t *pids, int max, bool scan) {
    int count = scan ? -1 : read_children_file(pids, max);
    if (count < 0) count = scan_proc(pids, max);
    return count >= 0 ? count : scan_children_made_since_start(pids, max);
}

void adopt_orphans() { prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0); }

// A listed child is ours until we reap it, so its pid cannot have been
// handed to another process in the meantime; its group goes with it.
static int kill_children() {
    pid_t pids[max_listed];
    int count = list_children(pids, max_listed, false);
    int killed = 0;
    for (int i = 0; i < count; ++i) {
        if (!child_made_by_run(pids[i])) continue;
        pid_t group = getpgid(pids[i]);
        kill(pids[i], SIGKILL);
        if (group > 0 && group != getpgrp()) kill(-group, SIGKILL);
        ++killed;
    }
    return killed;
}

void end_descendants() {
    long long give_up = monotonic_ms() + end_wait_ms;
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        kill_run_groups();
        // Killing a child hands its own children to us: go round until none.
        if (kill_children() == 0 || monotonic_ms() >= give_up) return;
        wait_for_event(give_up, -1);
    }
}

void end_run_for_signal(int signo) {
    end_descendants();
    signal(signo, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signo);
    _exit(128 + signo);
}

// A termination signal from one of the run's own processes (a library that
// signals its parent, or every process it may) is no request of the launcher.
void end_run_if_terminated() {
    while (int signo = termination_requested()) {
        pid_t sender = termination_sender(signo);
        if (!sender || !sent_from_run(sender)) end_run_for_signal(signo);
        // Forgotten first: the trace's own write may come back here.
        forget_termination(signo);
        debug_trace("Ignored signal %d sent by process %d of the run\n", signo,
                    static_cast<int>(sender));
    }
}
