// How many children may run at once. Two needs pull against each other: a
// check must not overrun its limit because others took its processor, so the
// children at work stay near the processors we may use; and a child that
// only waits (a hanging library, a check waiting on a server) takes no
// processor, so it must not hold back the rest.
#pragma once

#include <sys/types.h>

// Children in flight at all, working or waiting (each with its watchdog):
// bounds processes and descriptors when many only wait.
constexpr int max_children_in_flight = 16;

// The bounds on children at once, read from the system once per process:
// the launcher sets the limits and the affinity before we start.
struct WorkBounds {
    int in_flight;      // max_children_in_flight
    int at_work;        // the processors we may run on
    int channels;       // checks that may hold channels (two descriptors each)
    bool tight_process_limit; // so low that children beside each other
                              // could take from a check the processes or
                              // threads it would have had alone (the thread
                              // check's, a GL driver's)
};
const WorkBounds &work_bounds();

// How often a child's processor time is looked at, and so how long a
// child must have used none before it counts as only waiting.
constexpr long long work_sample_ms = 50;

// Processor time the process (and the children it reaped) has used, in
// clock ticks; -1 when it cannot be read.
long long processor_ticks(pid_t pid);

