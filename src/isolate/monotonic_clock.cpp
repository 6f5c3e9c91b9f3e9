#include "isolate/monotonic_clock.h"

#include <time.h>

// A wait this much later than its timeout was a stop: a loaded system wakes
// a sleeper late by far less. A stop found wrongly only lends time.
constexpr long long stop_threshold_ms = 250;

static long long stopped_ms = 0;

long long monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long running_ms() { return monotonic_ms() - stopped_ms; }

void note_timed_wait(long long began_ms, long long timeout_ms) {
    long long late = monotonic_ms() - began_ms - timeout_ms;
    if (late > stop_threshold_ms) stopped_ms += late;
}

void sleep_running_ms(long long ms) {
    for (long long end = running_ms() + ms, left; (left = end - running_ms()) > 0;) {
        long long step = left < running_step_ms ? left : running_step_ms;
        timespec pause = {static_cast<time_t>(step / 1000),
                          static_cast<long>(step % 1000) * 1000000};
        long long began = monotonic_ms();
        nanosleep(&pause, nullptr);
        note_timed_wait(began, step);
    }
}
