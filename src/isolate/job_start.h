// Starting one job: its channels, its child and its watchdog, or the reason
// it must wait (a refused fork, channels others still hold) or is broken.
#pragma once

#include "isolate/job_table.h"

constexpr long long limit_ms = watchdog_seconds * 1000LL;

enum StartResult { STARTED, DEFERRED };

// STARTED also when the job ended at once, broken. `wanted`: the sequence
// waits for it, so it cannot wait for channels others hold.
StartResult start_job(Job *job, long long now, const Load &load, bool wanted);
