#include "isolate/check_time.h"

#include <dirent.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

long long monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long time_had_in(long long interval_ms, long long delay_ms, bool run_stopped) {
    if (run_stopped || interval_ms <= 0) return 0;
    if (delay_ms < 0) delay_ms = 0;
    return delay_ms >= interval_ms ? 0 : interval_ms - delay_ms;
}

long long wall_ceiling_ms(long long started_ms, long long limit_ms, long long run_started_ms,
                          long long enclosing_ms) {
    long long own = limit_ms * wall_ceiling_factor;
    long long ceiling = started_ms + (own < check_ceiling_ms ? own : check_ceiling_ms);
    if (run_started_ms + run_ceiling_ms < ceiling) ceiling = run_started_ms + run_ceiling_ms;
    if (enclosing_ms > 0 && enclosing_ms - nested_margin_ms < ceiling)
        ceiling = enclosing_ms - nested_margin_ms;
    return ceiling;
}

static ssize_t read_file(const char *path, char *text, size_t size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    ssize_t n = read(fd, text, size - 1);
    close(fd);
    if (n >= 0) text[n] = '\0';
    return n;
}

constexpr int max_processes = 64;

// Adds each thread's run delay (second field of its schedstat) and queues
// the children each thread has.
static int add_process(pid_t pid, long long *delay, pid_t *queue, int *queued) {
    char path[320], text[1024];
    snprintf(path, sizeof path, "/proc/%d/task", static_cast<int>(pid));
    DIR *tasks = opendir(path);
    if (!tasks) return -1;
    int read = -1;
    while (const dirent *task = readdir(tasks)) {
        if (task->d_name[0] == '.') continue;
        snprintf(path, sizeof path, "/proc/%d/task/%s/schedstat", static_cast<int>(pid),
                 task->d_name);
        unsigned long long run = 0, waited = 0;
        if (read_file(path, text, sizeof text) > 0 &&
            sscanf(text, "%llu %llu", &run, &waited) == 2) {
            *delay += static_cast<long long>(waited);
            read = run > 0 || waited > 0 || read > 0 ? 1 : 0;
        }
        snprintf(path, sizeof path, "/proc/%d/task/%s/children", static_cast<int>(pid),
                 task->d_name);
        if (read_file(path, text, sizeof text) <= 0) continue;
        char *at = text;
        for (char *end; *queued < max_processes; at = end) {
            long child = strtol(at, &end, 10);
            if (end == at) break;
            queue[(*queued)++] = static_cast<pid_t>(child);
        }
    }
    closedir(tasks);
    return read;
}

// -2: readable, but its threads have never run, or the kernel keeps no
// counters (then they read zero for every process).
long long run_delay_ns(pid_t leader) {
    pid_t queue[max_processes] = {leader};
    int queued = 1;
    long long delay = 0;
    bool readable = false, ran = false;
    for (int i = 0; i < queued; ++i) {
        int read = add_process(queue[i], &delay, queue, &queued);
        readable = readable || read >= 0;
        ran = ran || read > 0;
    }
    return ran ? delay : readable ? -2 : -1;
}

// A child just forked has waited for nothing yet.
void start_clock(CheckClock *clock, long long now_ms) {
    *clock = CheckClock{};
    clock->started_ms = clock->read_ms = now_ms;
}

// Whether the kernel counts at all: this process has surely run.
static bool kernel_counts() {
    char text[128];
    unsigned long long run = 0;
    return read_file("/proc/self/schedstat", text, sizeof text) > 0 &&
           sscanf(text, "%llu", &run) == 1 && run > 0;
}

// A wait is added to a thread's counter only once it gets a processor: a
// check whose threads have not run yet (all of it waiting, as under a tight
// quota) has had nothing, provided the kernel counts at all, as it has for
// this process.
void read_clock(CheckClock *clock, long long now_ms, pid_t leader, bool run_stopped) {
    long long interval_ms = now_ms - clock->read_ms;
    long long delay_ns = clock->wall_only ? -1 : run_delay_ns(leader);
    long long delay_ms = 0;
    if (delay_ns == -2 && kernel_counts()) {
        delay_ms = interval_ms;
    } else if (delay_ns < 0) {
        clock->wall_only = true;
    } else {
        // Threads that ended take their waits with them: never less than 0.
        delay_ms = (delay_ns - clock->delay_ns) / 1000000;
        clock->delay_ns = delay_ns;
    }
    clock->had_ms += time_had_in(interval_ms, delay_ms, run_stopped);
    clock->read_ms = now_ms;
}

// The fields after the process name, which may hold anything, blanks and
// ')' included: the line is unsafe to split on blanks from the start.
static const char *stat_fields(pid_t pid, char *text, size_t size) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    if (read_file(path, text, size) <= 0) return nullptr;
    const char *name_end = strrchr(text, ')');
    return name_end ? name_end + 1 : nullptr;
}

pid_t proc_parent(pid_t pid) {
    char text[512];
    const char *fields = stat_fields(pid, text, sizeof text);
    int ppid = -1;
    if (!fields || sscanf(fields, " %*c %d", &ppid) != 1) return -1;
    return ppid;
}

// Fields 14 to 17: user and system time of the process, then of its reaped
// children.
long long processor_ticks(pid_t pid) {
    char text[512];
    const char *fields = stat_fields(pid, text, sizeof text);
    long long utime = 0, stime = 0, cutime = 0, cstime = 0;
    if (!fields || sscanf(fields, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld %lld %lld",
                          &utime, &stime, &cutime, &cstime) != 4)
        return -1;
    return utime + stime + cutime + cstime;
}
