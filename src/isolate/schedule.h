// What the loop starts next, decided from what it sees alone, so that the
// rules can be tested without forking. The children at work stay near the
// processors we may use, so that none overruns its limit for want of one; a
// child that only waits (a hanging library) takes none and holds back none.
#pragma once

#include <sys/types.h>

// Children in flight at all, working or waiting: bounds processes and
// descriptors when many only wait.
constexpr int max_children_in_flight = 16;

// How often a child's processor time is looked at, and so how long a child
// must have used none before it counts as only waiting.
constexpr long long work_sample_ms = 50;

// A fork refused for want of processes is tried again after these waits,
// doubling, until one watchdog period of the run has gone by.
constexpr long long first_fork_retry_ms = 5;
constexpr long long last_fork_retry_ms = 100;

struct WorkBounds {
    int in_flight;            // max_children_in_flight
    int at_work;              // the processors we may run on
    int channels;             // checks that may hold channels (two descriptors each)
    bool tight_process_limit; // children beside each other could take from a
                              // check the processes or threads it would have
                              // had alone (the thread check's, a GL driver's)
};

// From the limits and the affinity the launcher set before we started.
WorkBounds read_work_bounds();

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
    bool wanted_queued; // the job the caller waits for
    bool any_queued;
    Load load;
};

// Only the job the caller waits for, and only when no other runs: under a
// tight process limit, after a refusal, and on one processor, where a check
// started ahead only takes turns with the one asked for.
bool one_at_a_time(const BackOff &back_off, const WorkBounds &bounds);

enum StartChoice { START_NOTHING, START_WANTED, START_NEXT_QUEUED };

// The job the caller waits for starts at once; the others as the bounds
// allow, in the order of their priority.
StartChoice choose_start(const StartView &view, const BackOff &back_off, const WorkBounds &bounds);
