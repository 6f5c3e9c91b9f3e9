// The runner's one clock: deadlines and back-off waits must not move when
// someone sets the time of day, nor run on while the run is stopped.
#pragma once

long long monotonic_ms();

// Monotonic time less the stretches this process was stopped (Ctrl-Z,
// SIGSTOP, a frozen container), which the kernel's clocks count but a
// check's limit must not: its child was stopped too. A stop shows as a gap
// between two readings well past the waits declared in it, so a process
// that keeps this time never waits longer than running_step_ms at once
// while anything is timed.
long long running_ms();
constexpr long long running_step_ms = 100;

// Declares a wait of up to this long before the next reading (negative:
// without a limit, as a blocking write, which hides a stop in it).
void allow_wait_ms(long long ms);

// Sleeps until this much running time has gone by.
void sleep_running_ms(long long ms);
