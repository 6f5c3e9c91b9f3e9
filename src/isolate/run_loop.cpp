#include "isolate/run_loop.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "isolate/descendants.h"
#include "isolate/job_start.h"
#include "isolate/monotonic_clock.h"
#include "isolate/process_signals.h"
#include "isolate/run_processes.h"
#include "isolate/work_bound.h"

// How long a child killed on time-out may take to go before the loop stops
// waiting for it (a process stuck in the kernel never goes).
constexpr long long kill_grace_ms = 1000;

static void note_exit(pid_t pid, int status) {
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (pid == job.test_pid) {
            job.status = status;
            job.test_pid = 0;
            if (job.end == END_NONE) job.end = END_EXITED;
            return;
        }
        if (pid == job.watchdog_pid) {
            job.watchdog_pid = 0;
            job.watchdog_rang = true;
            return;
        }
    }
    // Any other pid: a process a library left behind, adopted and now gone.
}

// A wait that fails leaves every child in flight without an outcome.
static void note_wait_failure(int error) {
    for (Job &job : runner.jobs)
        if (job.state == JOB_RUNNING && job.test_pid > 0 && job.end != END_TIMED_OUT) {
            job.end = END_WAIT_FAILED;
            job.wait_error = error;
            job.test_pid = 0;
        }
}

static void reap_children() {
    // Before any reap: a signal's sender may be among them.
    end_run_if_terminated();
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            note_exit(pid, status);
            note_child_reaped(pid);
            runner.back_off = slot_freed(runner.back_off);
        } else if (pid == 0) {
            return;
        } else if (errno != EINTR) {
            note_wait_failure(errno);
            return;
        }
    }
}

static void time_out(Job *job, long long now) {
    job->end = END_TIMED_OUT;
    kill(job->test_pid, SIGKILL);
    job->deadline_ms = now + kill_grace_ms;
}

// Only after every exit is in: a test child that ended in time beats a
// watchdog reaped in the same round. A running job without a test child
// was reaped or could not be waited for.
static void settle_jobs(long long now) {
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (job.test_pid == 0) {
            end_job(&job);
        } else if (job.end != END_TIMED_OUT) {
            if (job.watchdog_rang || (job.deadline_ms >= 0 && now >= job.deadline_ms))
                time_out(&job, now);
        } else if (now >= job.deadline_ms) {
            // Killed and still there: given up, reaped unnoticed if it ever goes.
            job.test_pid = 0;
            end_job(&job);
        }
    }
}

// Only while checks wait to start beside the others: the bound counts the
// children at work, not those that only wait.
static bool work_counts() {
    return next_queued() && !one_at_a_time(runner.back_off, work_bounds());
}

static void sample_work(long long now) {
    if (!work_counts()) return;
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING || job.test_pid <= 0 || now - job.sampled_ms < work_sample_ms)
            continue;
        long long ticks = processor_ticks(job.test_pid);
        job.waiting = ticks >= 0 && ticks == job.ticks;
        job.ticks = ticks;
        job.sampled_ms = now;
    }
}

static void start_ready(Job *wanted, long long now) {
    for (;;) {
        StartView view = {now, wanted && wanted->state == JOB_QUEUED, next_queued() != nullptr,
                          current_load()};
        StartChoice choice = choose_start(view, runner.back_off, work_bounds());
        if (choice == START_NOTHING) return;
        Job *job = choice == START_WANTED ? wanted : next_queued();
        if (start_job(job, now, view.load, choice == START_WANTED) == DEFERRED) return;
    }
}

static long long earlier(long long a, long long b) { return a < 0 || (b >= 0 && b < a) ? b : a; }

// Until a child ends, a deadline passes, a refused fork may be tried again
// or a child's work is due to be looked at. Timed waits are short, so that
// a stop of the run is seen and not counted.
static void wait_for_next_event(long long now) {
    long long wake = -1;
    bool sampling = work_counts();
    for (const Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        wake = earlier(wake, job.deadline_ms);
        wake = earlier(wake, job.watchdog_due_ms);
        if (sampling && !job.waiting) wake = earlier(wake, job.sampled_ms + work_sample_ms);
    }
    long long retry_at = runner.back_off.retry_at_ms;
    if (retry_at > 0 && next_queued()) wake = earlier(wake, retry_at);
    long long timeout = wake < 0 ? -1 : wake - now < 0 ? 0 : wake - now;
    if (timeout > running_step_ms) timeout = running_step_ms;
    wait_for_event(timeout < 0 ? -1 : monotonic_ms() + timeout, -1);
    end_run_if_terminated();
}

void wait_for_end(Job *job) {
    for (;;) {
        reap_children();
        long long now = running_ms();
        settle_jobs(now);
        start_due_watchdogs(now);
        sample_work(now);
        start_ready(job, now);
        if (job->state == JOB_ENDED) return;
        wait_for_next_event(now);
    }
}
