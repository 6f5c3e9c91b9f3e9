#include "isolate/job_start.h"

#include <unistd.h>

#include <cerrno>

#include "isolate/child_side.h"
#include "isolate/descendants.h"
#include "isolate/process_signals.h"
#include "isolate/report_output.h"
#include "report/report.h"

// While children of ours run, a refused fork waits for them to go: fewer at
// once, never a false finding. With none of ours left, it waits one
// watchdog period, once in the run: a system that stays full that long
// stays so, and each later check would wait in vain.
static bool fork_refused(long long now, const Load &load, int error) {
    BackOff &back_off = runner.back_off;
    if (error != EAGAIN) return false;
    if (load.in_flight == 0) {
        if (back_off.refused_until_ms < 0) back_off.refused_until_ms = now + limit_ms;
        if (now >= back_off.refused_until_ms) return false;
    }
    back_off = backed_off(back_off, now);
    return true;
}

// A check whose child could not be made: tried again later, or broken.
static StartResult not_started(Job *job, long long now, const Load &load, int error) {
    if (fork_refused(now, load, error)) return DEFERRED;
    job->end = END_NO_FORK;
    end_job(job);
    return STARTED;
}

static void mark_running(Job *job, pid_t pid, long long now) {
    job->state = JOB_RUNNING;
    job->test_pid = pid;
    job->sampled_ms = now;
    start_clock(&job->clock, now);
    job->continues_seen = run_continues();
    // Most checks end long before their clock is first read.
    job->next_read_ms =
        now + (job->limit_ms < clock_read_every_ms ? job->limit_ms : clock_read_every_ms);
}

static StartResult start_shell(Job *job, long long now, const Load &load) {
    int error = 0;
    pid_t pid = spawn_shell(job->arg, &error);
    if (pid < 0) return not_started(job, now, load, error);
    mark_running(job, pid, now);
    return STARTED;
}

// Most checks end within milliseconds, and a fork of the main process for
// each costs more than the work of many: the loop keeps every check's time.
// A watchdog process is forked only where the trace tells whether there is
// one: in a check child, whose nested run writes its trace live, and where
// processes are short.
static bool without_watchdog() {
    return !runner.in_check_child && !runner.back_off.one_at_a_time &&
           !work_bounds().tight_process_limit;
}

// Negative, with errno set, when the system refused it.
static pid_t fork_test_child(Job *job, long long now) {
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) run_test_child(job, parent);
    if (pid < 0) return pid;
    note_run_child(pid);
    mark_running(job, pid, now);
    return pid;
}

// No flush first: a watchdog never writes out its copy of the buffers, as it
// ends with _exit or is killed. Negative when it could not be forked.
static pid_t fork_watchdog() {
    pid_t parent = getpid();
    pid_t watchdog = fork();
    if (watchdog == 0) run_watchdog_child(parent);
    return watchdog;
}

// Beside other children the watchdog is forked first: a check that cannot
// have both waits, so that it never runs without a watchdog where it would
// have had one alone (the trace says when it has none). Alone, it goes as
// it always did: without a watchdog (its fork failed, as under a process
// limit) the loop keeps the time itself, and the test still gets its 5
// seconds and its real outcome.
StartResult start_job(Job *job, long long now, const Load &load, bool wanted) {
    if (job->shell) return start_shell(job, now, load);
    if (!runner.in_check_child && job->channels.err < 0 &&
        !open_channels(&job->channels, writes_report(job->check))) {
        // It waits until the sequence asks for it, others' descriptors
        // given back meanwhile; then, with none still, it writes straight
        // to the report as a check run alone would: its report is the same.
        if (!wanted) return DEFERRED;
        debug_trace("Unable to create channels for test\n");
        job->direct = true;
        if (writes_report(job->check)) note_report_bypassed();
    }
    flush_output();
    if (without_watchdog()) {
        if (fork_test_child(job, now) < 0) return not_started(job, now, load, errno);
        release_child_ends(&job->channels);
        return STARTED;
    }
    bool alone = load.in_flight == 0;
    pid_t watchdog = 0;
    if (!alone) {
        watchdog = fork_watchdog();
        if (watchdog < 0) {
            runner.back_off = backed_off(runner.back_off, now);
            return DEFERRED;
        }
    }
    job->watchdog_pid = watchdog;
    if (fork_test_child(job, now) < 0) {
        int error = errno;
        end_watchdog(job);
        return not_started(job, now, load, error);
    }
    release_child_ends(&job->channels);
    if (alone) watchdog = fork_watchdog();
    job->watchdog_pid = watchdog > 0 ? watchdog : 0;
    if (watchdog < 0) {
        job->no_watchdog = true;
        // A nested run's child writes its lines live: the trace goes first.
        if (runner.in_check_child) debug_trace("Unable to fork watchdog for test\n");
    }
    return STARTED;
}
