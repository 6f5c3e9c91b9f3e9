#include "isolate/job_table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

RunnerState runner;

static TestOutcome outcome_of_status(int status) {
    if (status == 0) return TEST_PASSED;
    if (status == failed_check_exit_code << 8) return TEST_FAILED;
    return TEST_BROKEN;
}

TestOutcome outcome_of(const Job *job) {
    int error = 0;
    if (job->end != END_EXITED || channel_fate(job->channels, &error) != CHANNELS_OWN)
        return TEST_BROKEN;
    return outcome_of_status(job->status);
}

static CheckFn reportless_checks[4];

void isolate_without_report(CheckFn check) {
    for (CheckFn &slot : reportless_checks) {
        if (slot == check) return;
        if (!slot) {
            slot = check;
            return;
        }
    }
}

bool writes_report(CheckFn check) {
    for (CheckFn slot : reportless_checks)
        if (slot == check) return false;
    return true;
}

struct TimeLimit {
    CheckFn check;
    unsigned seconds;
};
static TimeLimit time_limits[8];

void set_check_time_limit(CheckFn check, unsigned seconds) {
    for (TimeLimit &slot : time_limits) {
        if (slot.check && slot.check != check) continue;
        slot = {check, seconds};
        return;
    }
}

long long time_limit_ms(CheckFn check) {
    for (const TimeLimit &slot : time_limits)
        if (slot.check && slot.check == check) return slot.seconds * 1000LL;
    return watchdog_seconds * 1000LL;
}

constexpr long long nested_grace_ms = 250;

static bool same_arg(const char *a, const char *b) {
    return a == b || (a && b && strcmp(a, b) == 0);
}

Job *find_job(CheckFn check, const char *arg) {
    Job *found = nullptr;
    for (Job &job : runner.jobs)
        if (job.state != JOB_FREE && !job.shell && !job.dropped && job.check == check &&
            same_arg(job.arg, arg) && (!found || job.order < found->order))
            found = &job;
    return found;
}

Job *new_job(CheckFn check, const char *arg, JobState state) {
    for (Job &job : runner.jobs) {
        if (job.state != JOB_FREE) continue;
        job = Job{};
        job.state = state;
        job.check = check;
        job.arg = arg;
        job.order = runner.next_order++;
        // A hang inside a check is its check's hang: the check's own limit
        // ends it first, unless the check was given longer.
        job.limit_ms = time_limit_ms(check) + (runner.in_check_child ? nested_grace_ms : 0);
        return &job;
    }
    return nullptr;
}

Job *next_queued() {
    Job *next = nullptr;
    for (Job &job : runner.jobs)
        if (job.state == JOB_QUEUED && (!next || job.order < next->order)) next = &job;
    return next;
}

int count_free() {
    int count = 0;
    for (const Job &job : runner.jobs) count += job.state == JOB_FREE;
    return count;
}

Load current_load() {
    Load load = {0, 0, 0};
    for (const Job &job : runner.jobs) {
        if (job.state == JOB_RUNNING) {
            ++load.in_flight;
            load.at_work += !job.waiting;
        }
        load.holding_channels += job.channels.err >= 0;
    }
    return load;
}

void free_job(Job *job) {
    close_channels(&job->channels);
    job->state = JOB_FREE;
}

void end_watchdog(Job *job) {
    if (!job->watchdog_pid) return;
    kill(job->watchdog_pid, SIGKILL);
    waitpid(job->watchdog_pid, nullptr, 0);
    job->watchdog_pid = 0;
}

void end_job(Job *job) {
    end_watchdog(job);
    job->state = JOB_ENDED;
    bool passed = !job->dropped && outcome_of(job) == TEST_PASSED;
    for (Job &other : runner.jobs) {
        if (other.state != JOB_AFTER || other.after != job) continue;
        if (passed) {
            other.state = JOB_QUEUED;
            other.order = -1; // the rest of a chain goes first
        } else {
            drop_job(&other);
        }
    }
    if (job->dropped) free_job(job);
}

void drop_job(Job *job) {
    job->dropped = true;
    if (job->state == JOB_RUNNING && job->test_pid > 0)
        kill(job->test_pid, SIGKILL);
    else if (job->state != JOB_RUNNING)
        end_job(job);
}

void forget_jobs(const Job *own) {
    for (const Job &job : runner.jobs)
        if (&job != own) close_channel_descriptors(job.channels);
}

void claim_jobs() {
    pid_t self = getpid();
    if (runner.owner == self) return;
    if (runner.owner) {
        bool in_check_child = runner.in_check_child;
        runner = RunnerState{};
        runner.in_check_child = in_check_child;
    }
    runner.owner = self;
    runner.started_ms = monotonic_ms();
}
