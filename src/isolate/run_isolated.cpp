// The runner's face to the checks and the driver. What a check wrote stays
// in its channels until the sequence asks for its outcome, so the report
// and the trace keep the sequence's order however the children ran.
#include "isolate/run_isolated.h"

#include <sys/wait.h>

#include "isolate/job_table.h"
#include "isolate/process_signals.h"
#include "isolate/report_output.h"
#include "isolate/run_loop.h"
#include "report/report.h"

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
static TestOutcome take_outcome(Job *job) {
    if (job->no_watchdog && !runner.in_check_child)
        debug_trace("Unable to fork watchdog for test\n");
    switch (job->end) {
    case END_NO_FORK:
        debug_trace("Unable to fork for test\n");
        break;
    case END_WAIT_FAILED:
        debug_trace("Unable to wait for test child (%d)\n", job->wait_error);
        break;
    default:
        copy_outcome_channels(job);
        if (job->end != END_TIMED_OUT) break;
        debug_trace("Wait for test child timed out\n");
        if (job->clock.wall_only) debug_trace("Timed by wall time: no run delay to read\n");
    }
    TestOutcome outcome = outcome_of(job);
    free_job(job);
    return outcome;
}

// Room is kept for the checks the sequence asks for without a start ahead.
constexpr int jobs_kept_free = 8;

void start_isolated(CheckFn check, const char *arg) {
    claim_jobs();
    if (count_free() > jobs_kept_free) new_job(check, arg, JOB_QUEUED);
}

void start_isolated_after(CheckFn before, const char *before_arg, CheckFn check, const char *arg) {
    claim_jobs();
    Job *first = find_job(before, before_arg);
    if (!first || count_free() <= jobs_kept_free) return;
    Job *job = new_job(check, arg, JOB_AFTER);
    job->after = first;
}

void drop_isolated(CheckFn check, const char *arg) {
    claim_jobs();
    if (Job *job = find_job(check, arg)) drop_job(job);
}

TestOutcome run_isolated(CheckFn check, const char *arg) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    claim_jobs();
    Job *job = find_job(check, arg);
    if (!job) job = new_job(check, arg, JOB_QUEUED);
    // Asked for before the check it waited for passed: it runs now.
    if (job->state == JOB_AFTER) job->state = JOB_QUEUED;
    wait_for_end(job);
    TestOutcome outcome = take_outcome(job);
    return_child_signal(&loan);
    return outcome;
}

// The command is waited for in the same loop as the checks, which go on
// meanwhile; a spawn refused for want of processes waits for them as a
// check's fork does. What the shell starts and leaves behind when it is
// killed is adopted and ended with the rest at exit.
int run_shell_command(const char *command) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    int status = -1;
    claim_jobs();
    if (Job *job = new_job(nullptr, command, JOB_QUEUED)) {
        job->shell = true;
        wait_for_end(job);
        status = job->status;
        free_job(job);
    }
    return_child_signal(&loan);
    return status;
}
