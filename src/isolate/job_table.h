// The runner's records: one per check or command, from the moment it is
// queued until the sequence takes its outcome. A check may wait in the table
// for another's pass (the OpenGL check for the X11 check's).
#pragma once

#include <sys/types.h>

#include "isolate/channels.h"
#include "isolate/run_isolated.h"
#include "isolate/start_decision.h"

enum JobState { JOB_FREE, JOB_AFTER, JOB_QUEUED, JOB_RUNNING, JOB_ENDED };

// Why a job ended. Only END_EXITED has a status worth decoding; a job timed
// out keeps the status of the kill once it is reaped (a command returns it).
enum EndReason { END_NONE, END_EXITED, END_TIMED_OUT, END_NO_CHANNELS, END_NO_FORK, END_WAIT_FAILED };

struct Job {
    JobState state = JOB_FREE;
    CheckFn check = nullptr;
    const char *arg = nullptr;
    bool shell = false;              // a command of run_shell_command, not a check
    long order = 0;                  // start priority: lower first
    Job *after = nullptr;            // JOB_AFTER: queued when this one passes
    bool dropped = false;            // nobody will ask for it
    pid_t test_pid = 0;              // 0 once reaped, or given up after a kill
    pid_t watchdog_pid = 0;          // 0 when there is none: its fork failed, or it was reaped
    long long watchdog_due_ms = -1; // a watchdog is forked then, if still running
    bool watchdog_rang = false;
    bool no_watchdog = false;        // the loop keeps the time instead
    long long deadline_ms = -1;      // the loop's own limit (negative: the watchdog keeps it)
    Channels channels;               // none in a nested run
    EndReason end = END_NONE;
    int status = -1;                 // the raw wait status, once reaped
    int wait_error = 0;
    long long ticks = 0, sampled_ms = 0;
    bool waiting = false;            // used no processor over the last sample
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
};
extern RunnerState runner;

// The one decoder of how a job ended. A check whose report channel was no
// longer its own at the end never passes.
TestOutcome outcome_of(const Job *job);

// False for a body given to isolate_without_report.
bool writes_report(CheckFn check);
// What set_check_time_limit gave the body, in milliseconds.
long long check_limit_ms(CheckFn check);

// The first record of that body and argument the sequence has not taken.
Job *find_job(CheckFn check, const char *arg);
Job *new_job(CheckFn check, const char *arg, JobState state);
Job *next_queued();
int count_free();
Load current_load();

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
