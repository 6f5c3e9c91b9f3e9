// The runner's one clock: deadlines and back-off waits must not move when
// someone sets the time of day.
#pragma once

long long monotonic_ms();
