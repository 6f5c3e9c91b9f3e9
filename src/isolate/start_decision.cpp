#include "isolate/start_decision.h"

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
