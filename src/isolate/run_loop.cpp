#include "isolate/run_loop.h"

#include <sys/ptrace.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "isolate/check_time.h"
#include "isolate/descendants.h"
#include "isolate/job_start.h"
#include "isolate/process_signals.h"
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

// A library that asked to be traced stops for its parent at its next exec
// or signal: let go, with the signal it stopped for (not an exec's trap).
static bool let_go_if_traced(pid_t pid, int status) {
    if (!WIFSTOPPED(status)) return false;
    int signo = WSTOPSIG(status);
    ptrace(PTRACE_DETACH, pid, nullptr,
           reinterpret_cast<void *>(signo == SIGTRAP ? 0L : long{signo}));
    return true;
}

// One child, or in the run's process any of its own (every child it has is
// the run's); a check child that nests a run reaps its own by pid, never a
// library's child.
static bool reap_one(pid_t wanted) {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(wanted, &status, WNOHANG);
        if (pid > 0) {
            if (let_go_if_traced(pid, status)) continue;
            note_exit(pid, status);
            runner.back_off = slot_freed(runner.back_off);
            return true;
        }
        if (pid == 0) return false;
        if (errno != EINTR) {
            note_wait_failure(errno);
            return false;
        }
    }
}

static void reap_children() {
    // Before any reap: a signal's sender may be among them.
    end_run_if_terminated();
    if (!runner.in_check_child) {
        while (reap_one(-1)) {
        }
        return;
    }
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (job.watchdog_pid > 0) reap_one(job.watchdog_pid);
        if (job.test_pid > 0) reap_one(job.test_pid);
    }
}

static void time_out(Job *job, long long now) {
    job->end = END_TIMED_OUT;
    kill(job->test_pid, SIGKILL);
    job->given_up_ms = now + kill_grace_ms;
}

// Whichever comes first: the check's wall-time ceiling, or the run's.
static long long ceiling_ms(const Job &job) {
    long long factor_ms = job.limit_ms * wall_ceiling_factor;
    long long own =
        job.clock.started_ms + (factor_ms < check_ceiling_ms ? factor_ms : check_ceiling_ms);
    long long run = runner.started_ms + run_ceiling_ms;
    return own < run ? own : run;
}

// The time a check had cannot reach its limit before it has been at work
// as long: its clock is read then, and at least every second, so that a
// stop of the run lends it no more than that.
static bool out_of_time(Job *job, long long now) {
    if (now >= ceiling_ms(*job)) return true;
    if (now < job->next_read_ms) return false;
    int continues = run_continues();
    read_clock(&job->clock, now, job->test_pid, continues != job->continues_seen);
    job->continues_seen = continues;
    long long left = job->limit_ms - job->clock.had_ms;
    if (left <= 0) return true;
    job->next_read_ms = now + (left > clock_read_every_ms ? clock_read_every_ms : left);
    return false;
}

// Only after every exit is in: a test child that ended in time is not timed
// out in the same round. A running job without a test child was reaped or
// could not be waited for.
static void settle_jobs(long long now) {
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (job.test_pid == 0) {
            end_job(&job);
        } else if (job.end != END_TIMED_OUT) {
            if (out_of_time(&job, now)) time_out(&job, now);
        } else if (now >= job.given_up_ms) {
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

// Until a child ends, a clock is due to be read, a ceiling passes, a
// refused fork may be tried again or a child's work is due to be looked at.
static void wait_for_next_event() {
    long long wake = -1;
    bool sampling = work_counts();
    for (const Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING) continue;
        wake = earlier(wake, job.end == END_TIMED_OUT ? job.given_up_ms : job.next_read_ms);
        wake = earlier(wake, ceiling_ms(job));
        if (sampling && !job.waiting) wake = earlier(wake, job.sampled_ms + work_sample_ms);
    }
    long long retry_at = runner.back_off.retry_at_ms;
    if (retry_at > 0 && next_queued()) wake = earlier(wake, retry_at);
    int pipes[2 * max_jobs], count = 0;
    for (const Job &job : runner.jobs)
        if (job.state == JOB_RUNNING || job.state == JOB_ENDED)
            count += channel_read_ends(job.channels, pipes + count);
    wait_for_event(wake, -1, pipes, count);
    end_run_if_terminated();
}

// Pipes, where channels are pipes, are emptied as they fill.
static void drain_all() {
    for (Job &job : runner.jobs)
        if (job.state == JOB_RUNNING || job.state == JOB_ENDED) drain_channels(&job.channels);
}

void wait_for_end(Job *job) {
    for (;;) {
        drain_all();
        reap_children();
        long long now = monotonic_ms();
        settle_jobs(now);
        sample_work(now);
        start_ready(job, now);
        if (job->state == JOB_ENDED) return;
        wait_for_next_event();
    }
}
