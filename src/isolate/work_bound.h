// How many children may run at once. Two needs pull against each other: a
// check must not overrun its limit because others took its processor, so the
// children at work stay near the processors we may use; and a child that
// only waits (a hanging library, a check waiting on a server) takes no
// processor, so it must not hold back the rest.
#pragma once

#include <sys/types.h>

// Children that may be at work at once: the processors we may run on.
int processors_available();

// Children in flight at all, working or waiting (each with its watchdog):
// bounds processes and descriptors when many only wait.
constexpr int max_children_in_flight = 16;

// How often a child's processor time is looked at, and so how long a
// child must have used none before it counts as only waiting.
constexpr long long work_sample_ms = 50;

// Processor time the process (and the children it reaped) has used, in
// clock ticks; -1 when it cannot be read.
long long processor_ticks(pid_t pid);

// A process limit so low that children beside each other could take from a
// check the processes or threads it would have had alone (threads count
// too: the thread check's, a GL driver's): then one child at a time.
bool process_limit_is_tight();

// Descriptors we may spend on channels of checks started ahead: each check
// holds two from its start until the sequence copies them out.
int channel_budget();
