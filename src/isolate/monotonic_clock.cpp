#include "isolate/monotonic_clock.h"

#include <time.h>

// A gap this much longer than the waits declared in it was a stop: a loaded
// system runs a process late by far less. A stop found wrongly only lends time.
constexpr long long stop_threshold_ms = 250;

static long long stopped_ms = 0;
// When running time was last read, and how long the process may since have
// waited (negative: without a limit, so nothing can be told of that gap).
static long long last_read_ms = -1;
static long long allowed_ms = 0;

long long monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Every gap between two readings counts, not only the waits: the stop may
// come while the process is busy between them.
long long running_ms() {
    long long now = monotonic_ms();
    if (last_read_ms >= 0 && allowed_ms >= 0) {
        long long late = now - last_read_ms - allowed_ms;
        if (late > stop_threshold_ms) stopped_ms += late;
    }
    last_read_ms = now;
    allowed_ms = 0;
    return now - stopped_ms;
}

void allow_wait_ms(long long ms) {
    if (allowed_ms >= 0) allowed_ms = ms < 0 ? -1 : allowed_ms + ms;
}

void sleep_running_ms(long long ms) {
    for (long long end = running_ms() + ms, left; (left = end - running_ms()) > 0;) {
        long long step = left < running_step_ms ? left : running_step_ms;
        timespec pause = {static_cast<time_t>(step / 1000),
                          static_cast<long>(step % 1000) * 1000000};
        allow_wait_ms(step);
        nanosleep(&pause, nullptr);
    }
}
