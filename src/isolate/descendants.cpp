// Ending descendants by their parent link, not by process group: a group of
// our own would hide the children from the launcher's job control.
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

constexpr int max_listed = 256;
constexpr long long end_wait_ms = 2000;

static pid_t inherited[16];
static int inherited_count = 0;

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

static pid_t parent_of(const char *pid) {
    char stat[512];
    const char *fields = proc_stat_after_name(pid, stat, sizeof stat);
    int ppid = -1;
    if (!fields || sscanf(fields, " %*c %d", &ppid) != 1) return -1;
    return ppid;
}

static int scan_proc(pid_t *pids, int max) {
    DIR *proc = opendir("/proc");
    if (!proc) return -1;
    int count = 0;
    pid_t self = getpid();
    while (const dirent *entry = readdir(proc)) {
        if (count == max) break;
        if (atoi(entry->d_name) > 0 && parent_of(entry->d_name) == self)
            pids[count++] = atoi(entry->d_name);
    }
    closedir(proc);
    return count;
}

int list_children(pid_t *pids, int max, bool scan) {
    int count = scan ? -1 : read_children_file(pids, max);
    return count >= 0 ? count : scan_proc(pids, max);
}

void adopt_orphans() {
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    int count = list_children(inherited, sizeof inherited / sizeof inherited[0], false);
    inherited_count = count > 0 ? count : 0;
}

static bool was_inherited(pid_t pid) {
    for (int i = 0; i < inherited_count; ++i)
        if (inherited[i] == pid) return true;
    return false;
}

// A listed child is ours until we reap it, so its pid cannot have been
// handed to another process in the meantime.
static int kill_children() {
    pid_t pids[max_listed];
    int count = list_children(pids, max_listed, false);
    int killed = 0;
    for (int i = 0; i < count; ++i) {
        if (was_inherited(pids[i])) continue;
        kill(pids[i], SIGKILL);
        ++killed;
    }
    return killed;
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
    signal(signo, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signo);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signo);
    _exit(128 + signo);
}

void end_run_if_terminated() {
    if (int signo = termination_requested()) end_run_for_signal(signo);
}
