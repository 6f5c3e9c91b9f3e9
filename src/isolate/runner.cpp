// The runner's face to the checks, the driver and the rest of the program.
// What a check wrote stays in its channels until the sequence asks for its
// outcome, so the report and the trace keep the sequence's order however
// the children ran.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "isolate/run_isolated.h"
#include "isolate/runner.h"
#include "isolate/signals.h"
#include "report/report.h"

Runner runner;

// A hang inside a check is its check's hang: the check's own limit ends it
// first, unless the check was given longer.
constexpr long long nested_grace_ms = 250;
// Room is kept for the checks the sequence asks for without a start ahead.
constexpr int jobs_kept_free = 8;

void claim_jobs() {
    pid_t self = getpid();
    if (runner.owner == self) return;
    if (runner.owner) {
        runner.first_child = 0;
        runner.next_order = 0;
        runner.back_off = BackOff{};
        for (Job &job : runner.jobs) job = Job{};
    }
    if (!runner.bounds_read) runner.bounds = read_work_bounds();
    runner.bounds_read = true;
    runner.owner = self;
    runner.started_ms = monotonic_ms();
}

void isolate_without_report(CheckFn check) {
    for (CheckFn &slot : runner.reportless)
        if (!slot || slot == check) {
            slot = check;
            return;
        }
}

bool writes_report(CheckFn check) {
    for (CheckFn slot : runner.reportless)
        if (slot == check) return false;
    return true;
}

void set_check_time_limit(CheckFn check, unsigned seconds) {
    for (TimeLimit &slot : runner.limits)
        if (!slot.check || slot.check == check) {
            slot = {check, seconds};
            return;
        }
}

static long long time_limit_ms(CheckFn check) {
    for (const TimeLimit &slot : runner.limits)
        if (slot.check && slot.check == check) return slot.seconds * 1000LL;
    return watchdog_seconds * 1000LL;
}

Job *new_job(JobKind kind, CheckFn check, const char *arg) {
    for (Job &job : runner.jobs) {
        if (job.state != JOB_FREE) continue;
        job = Job{};
        job.state = JOB_QUEUED;
        job.kind = kind;
        job.check = check;
        job.arg = arg;
        job.order = runner.next_order++;
        job.limit_ms = time_limit_ms(check) + (runner.in_check_child ? nested_grace_ms : 0);
        return &job;
    }
    return nullptr;
}

static Job *find_job(CheckFn check, const char *arg) {
    Job *found = nullptr;
    for (Job &job : runner.jobs)
        if (job.state != JOB_FREE && job.kind == KIND_CHECK && !job.dropped &&
            job.check == check && (job.arg == arg || (job.arg && arg && !strcmp(job.arg, arg))) &&
            (!found || job.order < found->order))
            found = &job;
    return found;
}

Job *next_queued() {
    Job *next = nullptr;
    for (Job &job : runner.jobs)
        if (job.state == JOB_QUEUED && (!next || job.order < next->order)) next = &job;
    return next;
}

static int count_free() {
    int count = 0;
    for (const Job &job : runner.jobs) count += job.state == JOB_FREE;
    return count;
}

Load current_load() {
    Load load = {0, 0, 0};
    for (const Job &job : runner.jobs) {
        bool in_flight = job.state == JOB_RUNNING || job.state == JOB_ENDING;
        load.in_flight += in_flight;
        load.at_work += in_flight && !job.waiting;
        load.holding_channels += job.channels.err >= 0 || job.channels.report >= 0;
    }
    return load;
}

TestOutcome outcome_of(const Job *job) {
    int error = 0;
    if (job->end != END_EXITED || channel_fate(job->channels, &error) != CHANNELS_OWN)
        return TEST_BROKEN;
    if (job->status == 0) return TEST_PASSED;
    return job->status == failed_check_exit_code << 8 ? TEST_FAILED : TEST_BROKEN;
}

void free_job(Job *job) {
    close_channels(&job->channels);
    if (job->exec_error >= 0) close(job->exec_error);
    job->exec_error = -1;
    job->state = JOB_FREE;
}

static void drop_job(Job *job) {
    job->dropped = true;
    if (job->state == JOB_RUNNING)
        kill_job(job, monotonic_ms());
    else if (job->state != JOB_ENDING)
        finish_job(job);
}

void finish_job(Job *job) {
    if (job->watchdog_pid > 0) {
        kill(job->watchdog_pid, SIGKILL);
        waitpid(job->watchdog_pid, nullptr, 0);
    }
    job->watchdog_pid = 0;
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

void start_isolated(CheckFn check, const char *arg) {
    claim_jobs();
    if (count_free() > jobs_kept_free) new_job(KIND_CHECK, check, arg);
}

void start_isolated_after(CheckFn before, const char *before_arg, CheckFn check, const char *arg) {
    claim_jobs();
    Job *first = find_job(before, before_arg);
    if (!first || count_free() <= jobs_kept_free) return;
    Job *job = new_job(KIND_CHECK, check, arg);
    job->state = JOB_AFTER;
    job->after = first;
}

void drop_isolated(CheckFn check, const char *arg) {
    claim_jobs();
    if (Job *job = find_job(check, arg)) drop_job(job);
}

// Of a check that did not end as checks end, whole sections only. One that
// could not write its report channel leaves a report that cannot be whole:
// the runner's failure, not a finding about its library.
static void copy_outcome_channels(Job *job) {
    int error = 0;
    drain_channels(&job->channels);
    ChannelFate fate = channel_fate(job->channels, &error);
    copy_channels_out(job->channels, outcome_of(job) == TEST_BROKEN);
    if (job->channels.tally && job->channels.tally->trace_lost)
        debug_trace("Unable to write stderr channel of test\n");
    if (fate == CHANNELS_TAKEN) debug_trace("Test child lost its report channel\n");
    if (fate != CHANNELS_UNWRITABLE) return;
    debug_trace("Unable to write report channel of test (%d)\n", error);
    fail_report_output(error);
}

// The lines the runner writes about a check go where a sequential run
// writes them: about its start before the child's own, its time-out after.
static CheckEnd take_outcome(Job *job) {
    if (job->no_watchdog && !runner.in_check_child)
        debug_trace("Unable to fork watchdog for test\n");
    if (job->end == END_NO_FORK)
        debug_trace("Unable to fork for test\n");
    else if (job->end == END_WAIT_FAILED)
        debug_trace("Unable to wait for test child (%d)\n", job->wait_error);
    else
        copy_outcome_channels(job);
    if (job->end == END_TIMED_OUT) debug_trace("Wait for test child timed out\n");
    if (job->end == END_TIMED_OUT && job->clock.wall_only)
        debug_trace("Timed by wall time: no run delay to read\n");
    CheckEnd end = {outcome_of(job), job->end != END_NO_FORK,
                    job->end == END_EXITED ? job->status : -1};
    free_job(job);
    return end;
}

CheckEnd run_isolated_end(CheckFn check, const char *arg) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    claim_jobs();
    Job *job = find_job(check, arg);
    if (!job) job = new_job(KIND_CHECK, check, arg);
    // Asked for before the check it waited for passed: it runs now.
    if (job->state == JOB_AFTER) job->state = JOB_QUEUED;
    wait_for_end(job);
    CheckEnd end = take_outcome(job);
    return_child_signal(&loan);
    return end;
}

TestOutcome run_isolated(CheckFn check, const char *arg) { return run_isolated_end(check, arg).outcome; }
