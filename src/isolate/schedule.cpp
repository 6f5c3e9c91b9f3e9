#include "isolate/schedule.h"

#include <sched.h>
#include <sys/resource.h>

BackOff backed_off(BackOff back_off, long long now_ms) {
    back_off.one_at_a_time = true;
    back_off.retry_at_ms = now_ms + back_off.wait_ms;
    if (back_off.wait_ms < last_fork_retry_ms) back_off.wait_ms *= 2;
    return back_off;
}

BackOff slot_freed(BackOff back_off) {
    back_off.retry_at_ms = 0;
    back_off.wait_ms = first_fork_retry_ms;
    return back_off;
}

static bool at_bound(const Load &load, const WorkBounds &bounds) {
    return load.in_flight >= bounds.in_flight || load.at_work >= bounds.at_work ||
           load.holding_channels >= bounds.channels;
}

bool one_at_a_time(const BackOff &back_off, const WorkBounds &bounds) {
    return bounds.tight_process_limit || back_off.one_at_a_time || bounds.at_work <= 1;
}

StartChoice choose_start(const StartView &view, const BackOff &back_off, const WorkBounds &bounds) {
    if (view.now_ms < back_off.retry_at_ms) return START_NOTHING;
    if (one_at_a_time(back_off, bounds))
        return view.wanted_queued && view.load.in_flight == 0 ? START_WANTED : START_NOTHING;
    if (view.wanted_queued) return START_WANTED;
    if (!view.any_queued || at_bound(view.load, bounds)) return START_NOTHING;
    return START_NEXT_QUEUED;
}

// The processors are those this process may run on, which the launcher can
// narrow (taskset, a container's cpuset), not those the machine has.
static int processors_available() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    return count < 1 ? 1 : count;
}

// Below this, the processes the user already runs may leave too few.
constexpr rlim_t roomy_process_limit = 1024;
// Each check holds two descriptors from its start until the sequence copies
// its channels out; a margin for the libraries and the main process's own.
constexpr rlim_t spare_descriptors = 64;

WorkBounds read_work_bounds() {
    WorkBounds bounds = {max_children_in_flight, processors_available(), 1, false};
    struct rlimit limit;
    if (getrlimit(RLIMIT_NPROC, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bounds.tight_process_limit = limit.rlim_cur < roomy_process_limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur > spare_descriptors + 2) {
        rlim_t budget = (limit.rlim_cur - spare_descriptors) / 2;
        bounds.channels = budget > 1024 ? 1024 : static_cast<int>(budget);
    }
    return bounds;
}
