// A check's time is the time it had: time its threads waited for a
// processor they did not get (low priority on a loaded machine, a quota),
// and stretches in which the run itself was stopped (Ctrl-Z, SIGSTOP to
// every process, continued by SIGCONT), do not count, so the machine's load
// never makes a healthy library broken. Whatever the load, a wall-time
// ceiling ends it all the same. What /proc tells of a process is read here.
#pragma once

#include <sys/types.h>

// The runner's one clock: it must not move when someone sets the time of day.
long long monotonic_ms();

// The wall-time ceiling of a check, as a multiple of its limit (30 s for 5),
// and never past 30 s, whatever limit a check was given.
constexpr long long wall_ceiling_factor = 6;
constexpr long long check_ceiling_ms = 30 * 1000;
// No run goes on longer than this: every check still at work then ends.
constexpr long long run_ceiling_ms = 120 * 1000;
// A nested run's checks are cut this long before their enclosing check is,
// so that their outcomes reach the report.
constexpr long long nested_margin_ms = 1000;

// A check's clock is read at least this often, so that a stop of the run
// lends it no more than that; most checks end before their first reading.
constexpr long long clock_read_every_ms = 1000;

// The pure rule: of an interval between two readings, the part the check
// had. Its threads' waits for a processor are taken off (capped at the
// interval, as many threads may wait at once); an interval in which the run
// was stopped counts not at all.
long long time_had_in(long long interval_ms, long long delay_ms, bool run_stopped);

// The pure rule: when a check started at started_ms with that limit is cut
// whatever time it had. Its own ceiling, six times its limit and never past
// 30 s; the run's; and in a nested run (enclosing_ms > 0) its enclosing
// check's, less the margin that lets its outcome reach the report.
long long wall_ceiling_ms(long long started_ms, long long limit_ms, long long run_started_ms,
                          long long enclosing_ms);

struct CheckClock {
    long long started_ms = 0; // monotonic, for the ceiling
    long long read_ms = 0;    // when last read
    long long had_ms = 0;     // time had up to then
    long long delay_ns = 0;   // its threads' waits for a processor up to then
    bool wall_only = false;   // no run delay could be read: wall time counts
};

void start_clock(CheckClock *clock, long long now_ms);
// Reads the check's counters: every thread of the leader and of every
// process below it.
void read_clock(CheckClock *clock, long long now_ms, pid_t leader, bool run_stopped);

// The run delay of every thread of the process and all below it, in ns;
// -1 when /proc tells nothing, -2 when it tells only zeros.
long long run_delay_ns(pid_t leader);

// The parent of a process, or -1 when /proc cannot tell.
pid_t proc_parent(pid_t pid);

// Processor time the process and the children it reaped have used (a check
// waiting for a nested probe is at work through it), in clock ticks; -1
// when it cannot be read.
long long processor_ticks(pid_t pid);
