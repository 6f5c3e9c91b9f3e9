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
static bool add_process(pid_t pid, long long *delay, pid_t *queue, int *queued) {
    char path[320], text[1024];
    snprintf(path, sizeof path, "/proc/%d/task", static_cast<int>(pid));
    DIR *tasks = opendir(path);
    if (!tasks) return false;
    bool read_any = false;
    while (const dirent *task = readdir(tasks)) {
        if (task->d_name[0] == '.') continue;
        snprintf(path, sizeof path, "/proc/%d/task/%s/schedstat", static_cast<int>(pid),
                 task->d_name);
        unsigned long long run = 0, waited = 0;
        if (read_file(path, text, sizeof text) > 0 &&
            sscanf(text, "%llu %llu", &run, &waited) == 2) {
            *delay += static_cast<long long>(waited);
            read_any = read_any || run > 0 || waited > 0;
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
    return read_any;
}

long long run_delay_ns(pid_t leader) {
    pid_t queue[max_processes] = {leader};
    int queued = 1;
    long long delay = 0;
    bool read_any = false;
    for (int i = 0; i < queued; ++i)
        read_any = add_process(queue[i], &delay, queue, &queued) || read_any;
    return read_any ? delay : -1;
}

// A child just forked has waited for nothing yet.
void start_clock(CheckClock *clock, long long now_ms) {
    *clock = CheckClock{};
    clock->started_ms = clock->read_ms = now_ms;
}

void read_clock(CheckClock *clock, long long now_ms, pid_t leader, bool run_stopped) {
    long long delay_ns = clock->wall_only ? -1 : run_delay_ns(leader);
    long long delay_ms = 0;
    if (delay_ns < 0) {
        clock->wall_only = true;
    } else {
        // Threads that ended take their waits with them: never less than 0.
        delay_ms = (delay_ns - clock->delay_ns) / 1000000;
        clock->delay_ns = delay_ns;
    }
    clock->had_ms += time_had_in(now_ms - clock->read_ms, delay_ms, run_stopped);
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
