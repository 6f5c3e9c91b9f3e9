// The runner's records: one per check or command, from the moment it is
// queued until the sequence takes its outcome. A check may wait in the table
// for another's pass (the OpenGL check for the X11 check's).
#pragma once

#include <sys/types.h>

#include "isolate/channels.h"
#include "isolate/check_time.h"
#include "isolate/run_isolated.h"
#include "isolate/start_decision.h"

enum JobState { JOB_FREE, JOB_AFTER, JOB_QUEUED, JOB_RUNNING, JOB_ENDED };

// Why a job ended. Only END_EXITED has a status worth decoding; a job timed
// out keeps the status of the kill once it is reaped (a command returns it).
enum EndReason { END_NONE, END_EXITED, END_TIMED_OUT, END_NO_FORK, END_WAIT_FAILED };

struct Job {
    JobState state = JOB_FREE;
    CheckFn check = nullptr;
    const char *arg = nullptr;
    bool shell = false;   // a command of run_shell_command, not a check
    long order = 0;       // start priority: lower first
    Job *after = nullptr; // JOB_AFTER: queued when this one passes
    bool dropped = false; // nobody will ask for it
    pid_t test_pid = 0;   // 0 once reaped, or given up after a kill
    // A watchdog process only where the trace tells of one (nested runs,
    // tight process limits, refused forks); the loop keeps every job's time.
    pid_t watchdog_pid = 0;   // 0 when there is none: its fork failed, or it was reaped
    bool no_watchdog = false; // its fork failed
    long long limit_ms = 0;   // the time the check may have
    CheckClock clock;
    int continues_seen = 0;     // the run's continues at the last reading
    long long next_read_ms = 0; // its clock is read again then
    long long given_up_ms = -1; // killed on time-out and not gone by then: given up
    Channels channels;          // none in a nested run
    bool direct = false;        // no channels could be made: it writes the report itself
    EndReason end = END_NONE;
    int status = -1; // the raw wait status, once reaped
    int wait_error = 0;
    long long ticks = 0, sampled_ms = 0;
    bool waiting = false; // used no processor over the last sample
};

constexpr int max_jobs = 96;

// All the runner keeps between calls. A forked child starts its own nested
// runs from a fresh one (claim_jobs).
struct RunnerState {
    pid_t owner = 0; // the process whose records these are
    Job jobs[max_jobs];
    long next_order = 0;
    BackOff back_off;
    bool in_check_child = false; // nested runs write through its channels
    long long started_ms = 0;    // for the run's ceiling
};
extern RunnerState runner;

// The one decoder of how a job ended. A check whose report channel was no
// longer its own at the end never passes.
TestOutcome outcome_of(const Job *job);

// False for a body given to isolate_without_report.
bool writes_report(CheckFn check);
// Its set_check_time_limit, in ms.
long long time_limit_ms(CheckFn check);

// The first record of that body and argument the sequence has not taken.
Job *find_job(CheckFn check, const char *arg);
Job *new_job(CheckFn check, const char *arg, JobState state);
Job *next_queued();
int count_free();
Load current_load();

// Its watchdog, if any, killed and reaped.
void end_watchdog(Job *job);
// A job that ended lets the one waiting for its pass go, or drops it.
void end_job(Job *job);
// Nobody will ask for it: a running child is killed, the rest freed.
void drop_job(Job *job);
void free_job(Job *job);

// In a forked child, first thing: the other checks' channels closed.
void forget_jobs(const Job *own);
// Before any use of the table: the parent's records are not a child's, which
// starts afresh at its first nested run, still knowing whether it runs inside
// a check. Not at its fork: every page of the table written there is a page
// copied, in each of the many children that never nest a run.
void claim_jobs();
