// Process ids are handed out in rising order, wrapping once they reach the
// kernel's maximum: a group or session made during the run has an id handed
// out after the run's first child, one the launcher made before it has not.
#include "isolate/run_processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "isolate/proc_stat.h"

// Groups with a process in them; an empty one is forgotten when seen.
constexpr int max_groups = 256;
static pid_t groups[max_groups];
static int group_count = 0;

// The ids of the run's first and latest child, and whether the ids wrapped
// in between.
static pid_t first_made = 0, last_made = 0;
static bool ids_wrapped = false;

static bool group_is_empty(pid_t group) { return kill(-group, 0) != 0 && errno == ESRCH; }

static void forget_empty_groups() {
    int kept = 0;
    for (int i = 0; i < group_count; ++i)
        if (!group_is_empty(groups[i])) groups[kept++] = groups[i];
    group_count = kept;
}

static bool is_run_group(pid_t group) {
    for (int i = 0; i < group_count; ++i)
        if (groups[i] == group) return true;
    return false;
}

static void note_made(pid_t pid) {
    if (!first_made) first_made = pid;
    else if (pid < last_made) ids_wrapped = true;
    last_made = pid;
}

static bool made_during_run(pid_t id) {
    if (!first_made || id <= 0) return false;
    return id >= first_made || (ids_wrapped && id <= last_made);
}

void lead_own_group() { setpgid(0, 0); }

// Beyond max_groups a group is still ended, through its adopted members.
void note_child_group(pid_t child) {
    setpgid(child, child);
    note_made(child);
    if (group_count == max_groups) forget_empty_groups();
    if (group_count < max_groups && !is_run_group(child)) groups[group_count++] = child;
}

void note_child_reaped(pid_t child) {
    if (is_run_group(child) && group_is_empty(child)) forget_empty_groups();
}

void kill_run_groups() {
    forget_empty_groups();
    for (int i = 0; i < group_count; ++i) kill(-groups[i], SIGKILL);
}

bool child_made_by_run(pid_t child) {
    pid_t group = getpgid(child);
    if (group < 0) return false;
    if (is_run_group(group)) return true;
    return group != getpgrp() && made_during_run(group);
}

// Parents are only known from /proc; without it, the sender's group decides.
bool sent_from_run(pid_t sender) {
    pid_t self = getpid();
    for (int hops = 0; sender > 1 && sender != self && hops < 64; ++hops) {
        pid_t group = getpgid(sender);
        if (group > 0 && is_run_group(group)) return true;
        pid_t parent = proc_parent(sender);
        if (parent == self) return child_made_by_run(sender);
        sender = parent;
    }
    return false;
}

// The newest id handed out: that of a child made for the purpose.
static pid_t id_frontier() {
    pid_t marker = fork();
    if (marker == 0) _exit(0);
    if (marker < 0) return last_made + 32768;
    waitpid(marker, nullptr, 0);
    return marker;
}

static bool is_child(pid_t pid) {
    siginfo_t info;
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// The kernel's largest maximum; the real one is in /proc, which is missing.
constexpr pid_t largest_pid_max = 4194304;

int scan_children_made_since_start(pid_t *pids, int max) {
    if (!first_made) return 0;
    pid_t frontier = id_frontier();
    bool wrapped = ids_wrapped || frontier < first_made;
    int count = 0;
    pid_t end = wrapped ? largest_pid_max : frontier;
    for (pid_t pid = first_made; pid <= end && count < max; ++pid)
        if (is_child(pid)) pids[count++] = pid;
    for (pid_t pid = 2; wrapped && pid <= frontier && count < max; ++pid)
        if (is_child(pid)) pids[count++] = pid;
    return count;
}
