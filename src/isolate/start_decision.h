// What the loop starts next, decided from what it sees alone (the table's
// load, the bounds, the back-off and the time), so that the rules can be
// read and tested without forking. The loop asks again after every start.
#pragma once

#include "isolate/work_bound.h"

// A fork refused for want of processes is tried again after these waits,
// doubling, until one watchdog period of the run has gone by.
constexpr long long first_fork_retry_ms = 5;
constexpr long long last_fork_retry_ms = 100;

struct Load {
    int in_flight, at_work, holding_channels;
};

// Once the system refused a process, checks run one at a time as the
// sequence asks for them, and none starts before the wait is over.
struct BackOff {
    long long retry_at_ms = 0; // 0: no wait
    long long wait_ms = first_fork_retry_ms;
    bool one_at_a_time = false;
    long long refused_until_ms = -1; // refused forks are broken from then (-1: not yet)
};

BackOff backed_off(BackOff back_off, long long now_ms);
// A process slot came free: try again at once, from the shortest wait.
BackOff slot_freed(BackOff back_off);

struct StartView {
    long long now_ms;
    bool wanted_queued; // the check the sequence waits for
    bool any_queued;
    Load load;
};

// Only the check the sequence waits for, and only when no other runs: under
// a tight process limit, after a refusal, and on one processor, where a check
// started ahead only takes turns with the one asked for.
bool one_at_a_time(const BackOff &back_off, const WorkBounds &bounds);

enum StartChoice { START_NOTHING, START_WANTED, START_NEXT_QUEUED };

// The check the sequence waits for starts at once; the others as the bound
// allows, in the order of their priority.
StartChoice choose_start(const StartView &view, const BackOff &back_off, const WorkBounds &bounds);
