// The processors are those this process may run on, which the launcher can
// narrow (taskset, a container's cpuset), not those the machine has.
#include "isolate/work_bound.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "isolate/proc_stat.h"

static int processors_available() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    return count < 1 ? 1 : count;
}

// Fields 14 to 17 of /proc/PID/stat: user and system time of the process,
// then of its reaped children (a check that waits for a nested probe or a
// command it ran is at work through them).
long long processor_ticks(pid_t pid) {
    char pid_text[16], stat[512];
    snprintf(pid_text, sizeof pid_text, "%d", static_cast<int>(pid));
    const char *fields = proc_stat_after_name(pid_text, stat, sizeof stat);
    long long utime = 0, stime = 0, cutime = 0, cstime = 0;
    if (!fields || sscanf(fields, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld %lld %lld",
                          &utime, &stime, &cutime, &cstime) != 4)
        return -1;
    return utime + stime + cutime + cstime;
}

// Below this, the processes the user already runs may leave too few.
constexpr rlim_t roomy_process_limit = 1024;

static bool process_limit_is_tight() {
    struct rlimit limit;
    return getrlimit(RLIMIT_NPROC, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
           limit.rlim_cur < roomy_process_limit;
}

// Descriptors we may spend on channels of checks started ahead: each check
// holds two from its start until the sequence copies them out. A margin for
// the libraries the children load and the main process's own.
constexpr rlim_t spare_descriptors = 64;

static int channel_budget() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur <= spare_descriptors + 2) return 1;
    rlim_t budget = (limit.rlim_cur - spare_descriptors) / 2;
    return budget > 1024 ? 1024 : static_cast<int>(budget);
}

const WorkBounds &work_bounds() {
    static bool known = false;
    static WorkBounds bounds;
    if (!known)
        bounds = {max_children_in_flight, processors_available(), channel_budget(),
                  process_limit_is_tight()};
    known = true;
    return bounds;
}
