// The one loop that starts, watches and reaps every child of the table:
// each pass reaps what ended, settles outcomes and time-outs, looks at the
// children's work and starts what the bounds allow, then waits for the next
// event. Each job has one timer: its clock's next reading, its ceiling, or
// the end of the grace a killed child has to go.
#include <sys/ptrace.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

#include "isolate/descendants.h"
#include "isolate/runner.h"
#include "isolate/signals.h"

// How long a child killed may take to go before the loop stops waiting for
// it (a process stuck in the kernel never goes).
constexpr long long kill_grace_ms = 1000;

long long ceiling_ms(const Job &job) {
    return wall_ceiling_ms(job.clock.started_ms, job.limit_ms, runner.started_ms,
                           runner.enclosing_ceiling_ms);
}

static bool in_flight(const Job &job) {
    return job.state == JOB_RUNNING || job.state == JOB_ENDING;
}

static void note_exit(pid_t pid, int status) {
    for (Job &job : runner.jobs) {
        if (!in_flight(job)) continue;
        if (pid == job.pid) {
            job.status = status;
            job.pid = 0;
            if (job.end == END_NONE) job.end = END_EXITED;
            return;
        }
        if (pid == job.watchdog_pid) job.watchdog_pid = 0;
    }
    // Any other pid: a process a library left behind, adopted and now gone.
}

// A wait that fails leaves every child in flight without an outcome.
static void note_wait_failure(int error) {
    for (Job &job : runner.jobs)
        if (job.state == JOB_RUNNING && job.pid > 0) {
            job.end = END_WAIT_FAILED;
            job.wait_error = error;
            job.pid = 0;
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

static bool reap_one(pid_t wanted) {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(wanted, &status, WNOHANG);
        if (pid > 0 && let_go_if_traced(pid, status)) continue;
        if (pid > 0) {
            note_exit(pid, status);
            runner.back_off = slot_freed(runner.back_off);
            return true;
        }
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) note_wait_failure(errno);
        return false;
    }
}

// In the run's process any child is the run's; a check child that nests a
// run reaps its own by pid, never a library's child.
static void reap_children() {
    // Before any reap: a signal's sender may be among them.
    end_run_if_terminated();
    if (!runner.in_check_child) {
        while (reap_one(-1)) {
        }
        return;
    }
    for (Job &job : runner.jobs) {
        if (!in_flight(job)) continue;
        if (job.watchdog_pid > 0) reap_one(job.watchdog_pid);
        if (job.pid > 0) reap_one(job.pid);
    }
}

void kill_job(Job *job, long long now) {
    if (job->pid > 0) {
        kill(-job->pid, SIGKILL);
        kill(job->pid, SIGKILL);
    }
    job->state = JOB_ENDING;
    job->given_up_ms = now + kill_grace_ms;
}

// The time a check had cannot reach its limit before it has been at work
// as long: its clock is read then, and at least every second, so that a
// stop of the run lends it no more than that.
static bool out_of_time(Job *job, long long now) {
    if (now >= ceiling_ms(*job)) return true;
    if (now < job->next_read_ms) return false;
    int continues = run_continues();
    read_clock(&job->clock, now, job->pid, continues != job->continues_seen);
    job->continues_seen = continues;
    long long left = job->limit_ms - job->clock.had_ms;
    if (left <= 0) return true;
    job->next_read_ms = now + (left > clock_read_every_ms ? clock_read_every_ms : left);
    return false;
}

// Only after every exit is in: a child that ended in time is not timed out
// in the same round. Killed and still there after its grace: given up,
// reaped unnoticed if it ever goes.
static void settle_jobs(long long now) {
    for (Job &job : runner.jobs) {
        if (job.state == JOB_RUNNING && job.pid == 0) {
            finish_job(&job);
        } else if (job.state == JOB_RUNNING && out_of_time(&job, now)) {
            job.end = END_TIMED_OUT;
            kill_job(&job, now);
        } else if (job.state == JOB_ENDING && (job.pid == 0 || now >= job.given_up_ms)) {
            job.pid = 0;
            finish_job(&job);
        }
    }
}

// Only while jobs wait to start beside the others: the bound counts the
// children at work, not those that only wait.
static bool work_counts() {
    return next_queued() && !one_at_a_time(runner.back_off, runner.bounds);
}

static void sample_work(long long now) {
    if (!work_counts()) return;
    for (Job &job : runner.jobs) {
        if (job.state != JOB_RUNNING || job.pid <= 0 || now - job.sampled_ms < work_sample_ms)
            continue;
        long long ticks = processor_ticks(job.pid);
        job.waiting = ticks >= 0 && ticks == job.ticks;
        job.ticks = ticks;
        job.sampled_ms = now;
    }
}

static void start_ready(Job *wanted, long long now) {
    for (;;) {
        StartView view = {now, wanted->state == JOB_QUEUED, next_queued() != nullptr,
                          current_load()};
        StartChoice choice = choose_start(view, runner.back_off, runner.bounds);
        if (choice == START_NOTHING) return;
        Job *job = choice == START_WANTED ? wanted : next_queued();
        if (start_job(job, now, view.load, choice == START_WANTED) == START_DEFERRED) return;
    }
}

static long long earlier(long long a, long long b) { return a < 0 || (b >= 0 && b < a) ? b : a; }

// Until a child ends, a timer is due, a refused fork may be tried again, a
// child's work is due to be looked at or a pipe has output.
static void wait_for_next_event() {
    long long wake = -1;
    bool sampling = work_counts();
    int pipes[2 * max_jobs], count = 0;
    for (const Job &job : runner.jobs) {
        if (job.state == JOB_RUNNING) {
            wake = earlier(wake, earlier(job.next_read_ms, ceiling_ms(job)));
            if (sampling && !job.waiting) wake = earlier(wake, job.sampled_ms + work_sample_ms);
        }
        if (job.state == JOB_ENDING) wake = earlier(wake, job.given_up_ms);
        if (in_flight(job) || job.state == JOB_ENDED)
            count += channel_read_ends(job.channels, pipes + count);
    }
    if (runner.back_off.retry_at_ms > 0 && next_queued())
        wake = earlier(wake, runner.back_off.retry_at_ms);
    wait_for_event(wake, -1, pipes, count);
    end_run_if_terminated();
}

static void run_until(Job *job, JobState reached) {
    for (;;) {
        // Pipes, where channels are pipes, are emptied as they fill.
        for (Job &each : runner.jobs)
            if (in_flight(each) || each.state == JOB_ENDED) drain_channels(&each.channels);
        reap_children();
        long long now = monotonic_ms();
        settle_jobs(now);
        sample_work(now);
        start_ready(job, now);
        if (job->state >= reached) return;
        wait_for_next_event();
    }
}

void wait_for_start(Job *job) { run_until(job, JOB_RUNNING); }
void wait_for_end(Job *job) { run_until(job, JOB_ENDED); }
