// The runner's one record: every check, command and program from the
// moment it is queued until its outcome is taken, and what the run keeps
// between calls. A job goes FREE, (AFTER,) QUEUED, RUNNING, (ENDING,) ENDED
// and FREE again; a check may wait in the table for another's pass (the
// OpenGL check for the X11 check's).
#pragma once

#include <sys/types.h>

#include "isolate/channels.h"
#include "isolate/check_fn.h"
#include "isolate/check_time.h"
#include "isolate/schedule.h"

enum JobKind { KIND_CHECK, KIND_PROGRAM };

enum JobState {
    JOB_FREE,
    JOB_AFTER,   // queued once `after` passes
    JOB_QUEUED,  // waits for a start
    JOB_RUNNING, // its child is at work
    JOB_ENDING,  // killed (time-out or dropped), waiting to be reaped
    JOB_ENDED,   // its outcome waits to be taken
};

// Why a job ended. Only END_EXITED has a status worth decoding; a job timed
// out keeps the status of the kill once it is reaped (a command returns it).
enum EndReason { END_NONE, END_EXITED, END_TIMED_OUT, END_NO_FORK, END_WAIT_FAILED };

struct Job {
    JobState state = JOB_FREE;
    JobKind kind = KIND_CHECK;
    CheckFn check = nullptr;
    const char *arg = nullptr;
    char *const *argv = nullptr; // a program's, used only while it starts
    char *const *envp = nullptr;
    long long bound = 0;         // a program's captured output: 0 none
    bool keep_errors = false;
    int exec_error = -1;         // a program's: read end telling the exec's errno
    long order = 0;              // start priority: lower first
    Job *after = nullptr;
    bool dropped = false;        // nobody will ask for it
    pid_t pid = 0;               // the child; 0 once reaped, or given up after a kill
    pid_t watchdog_pid = 0;      // only under a tight process limit, where the trace tells of it
    bool no_watchdog = false;    // its fork failed
    long long limit_ms = 0;      // the time the check may have
    CheckClock clock;
    int continues_seen = 0;      // the run's continues at the last reading
    long long next_read_ms = 0;  // its clock is read again then
    long long given_up_ms = 0;   // ENDING: not gone by then, it is given up
    Channels channels;           // none in a nested run
    bool direct = false;         // no channels could be made: it writes the report itself
    EndReason end = END_NONE;
    int status = -1;             // the raw wait status, once reaped
    int start_error = 0, wait_error = 0;
    long long ticks = 0, sampled_ms = 0;
    bool waiting = false;        // used no processor over the last sample
};

constexpr int max_jobs = 96;

struct TimeLimit {
    CheckFn check;
    unsigned seconds;
};

struct Runner {
    // Settled by the driver before the checks, and kept by every child.
    CheckFn reportless[4];
    TimeLimit limits[8];
    WorkBounds bounds;
    bool bounds_read;
    bool in_check_child;           // nested runs write through its channels
    long long enclosing_ceiling_ms; // in a check child: when its own check is cut (0: none)
    // This process's own run: a forked child starts its own at its first
    // nested run (claim_jobs), not at its fork: every page written there is
    // a page copied, in each of the many children that never nest a run.
    pid_t owner;
    long long started_ms; // for the run's ceiling
    pid_t first_child;    // where a scan of ids starts, without /proc
    long next_order;
    BackOff back_off;
    Job jobs[max_jobs];
};
extern Runner runner;

// Before any use of the table.
void claim_jobs();
// False for a body given to isolate_without_report.
bool writes_report(CheckFn check);
Job *new_job(JobKind kind, CheckFn check, const char *arg);
Job *next_queued();
Load current_load();
// The one decoder of how a job ended. A check whose report channel was no
// longer its own at the end never passes.
TestOutcome outcome_of(const Job *job);
// A job that ended lets the one waiting for its pass go, or drops it.
void finish_job(Job *job);
void free_job(Job *job);

// When the job is cut whatever time it had (wall_ceiling_ms).
long long ceiling_ms(const Job &job);

// Runs the loop until the job has started (or ended without a start).
void wait_for_start(Job *job);
// Runs the loop until the job has ended (the others go on meanwhile).
void wait_for_end(Job *job);

enum StartResult { START_DEFERRED, START_RUNNING, START_ENDED };
// `wanted`: the caller waits for it, so it cannot wait for channels others hold.
StartResult start_job(Job *job, long long now, const Load &load, bool wanted);
// Kills its child and the group that child leads, while it is ours.
void kill_job(Job *job, long long now);
