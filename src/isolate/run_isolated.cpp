// The isolated runner: a record per check (queued, in flight or ended and
// waiting to be asked for), and the one loop that starts, watches and reaps
// them all. What a check wrote stays in its channels until the sequence
// asks for its outcome, so the report and the trace keep the sequence's
// order however the children ran.
#include "isolate/run_isolated.h"

#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "isolate/channels.h"
#include "isolate/descendants.h"
#include "isolate/process_signals.h"
#include "isolate/report_output.h"
#include "isolate/work_bound.h"
#include "report/report.h"

extern char **environ;

// How long a child killed on time-out may take to go before the loop stops
// waiting for it (a process stuck in the kernel never goes).
constexpr long long kill_grace_ms = 1000;
constexpr long long limit_ms = watchdog_seconds * 1000LL;
// A fork refused for want of processes is tried again after these waits,
// doubling, until the check's own limit has gone by.
constexpr long long first_fork_retry_ms = 5;
constexpr long long last_fork_retry_ms = 100;

enum JobState { JOB_FREE, JOB_AFTER, JOB_QUEUED, JOB_RUNNING, JOB_ENDED };

struct Job {
    JobState state;
    CheckFn check;
    const char *arg;
    bool shell;            // a command of run_shell_command, not a check
    long order;            // start priority: lower first
    Job *after;            // JOB_AFTER: queued when this one passes
    bool dropped;          // nobody will ask for it
    pid_t test_pid;        // 0 once reaped, or given up after a kill
    pid_t watchdog_pid;    // 0 when there is none: its fork failed, or it was reaped
    long long deadline_ms; // the loop's own limit (negative: the watchdog keeps it)
    long long fork_deadline_ms; // refused forks are retried until then
    Channels channels;     // none in a nested run
    int status;
    bool exited;           // the test child was reaped
    bool timed_out;
    bool watchdog_rang;
    bool no_channels, no_fork, no_watchdog;
    int wait_error;
    long long ticks, sampled_ms;
    bool waiting;          // used no processor over the last sample
};

constexpr int max_jobs = 96;
static Job jobs[max_jobs];
static long next_order = 0;
static long long fork_retry_at_ms = 0;
static long long fork_retry_ms = first_fork_retry_ms;
// Once the system refused a process, or where its limit is low from the
// start, checks run one at a time as the sequence asks for them.
static int one_at_a_time = -1;

// Set in a check child: runs nested in it write through its channels.
static bool in_check_child = false;

// A child must not outlive the process that waits for it. When a check that
// nests a run (the audio check's libpulse probe) is itself ended by its own
// watchdog, nobody is left to kill the nested children.
static void end_with_parent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // The parent may have gone before the request was in place.
    if (getppid() != parent) raise(SIGKILL);
}

// The parent's records are not the child's: it closes the other checks'
// channels and starts its own nested runs from an empty table.
static void forget_jobs(const Job *own) {
    for (Job &job : jobs) {
        if (&job != own) close_channels(&job.channels);
        job.state = JOB_FREE;
    }
    fork_retry_at_ms = 0;
}

static void become_child(pid_t parent, const Job *own) {
    restore_launcher_signals();
    end_with_parent(parent);
    drop_real_stdout();
    forget_jobs(own);
}

// _exit, not exit: the child must not run atexit handlers or library
// finalisers that belong to the parent, nor write the parent's buffers again.
[[noreturn]] static void run_test_child(Job *job, pid_t parent) {
    CheckFn check = job->check;
    const char *arg = job->arg;
    Channels channels = job->channels;
    become_child(parent, job);
    // A crash inside a library is a finding, not a core file in the user's
    // directory or a report to the system's crash collector.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    if (channels.report >= 0) {
        enter_channels(channels);
        in_check_child = true;
    }
    int result = check(arg);
    flush_output();
    _exit(result ? 0 : failed_check_exit_code);
}

[[noreturn]] static void run_watchdog_child(pid_t parent) {
    become_child(parent, nullptr);
    sleep(watchdog_seconds);
    _exit(0);
}

// The one place that turns a test child's wait status into an outcome.
static TestOutcome outcome_of_status(int status) {
    if (status == 0) return TEST_PASSED;
    if (status == failed_check_exit_code << 8) return TEST_FAILED;
    return TEST_BROKEN;
}

static TestOutcome outcome_of(const Job *job) {
    if (job->no_channels || job->no_fork || job->wait_error || job->timed_out) return TEST_BROKEN;
    return outcome_of_status(job->status);
}

static bool same_arg(const char *a, const char *b) {
    return a == b || (a && b && strcmp(a, b) == 0);
}

// The first record of that body and argument the sequence has not taken.
static Job *find_job(CheckFn check, const char *arg) {
    Job *found = nullptr;
    for (Job &job : jobs)
        if (job.state != JOB_FREE && !job.shell && !job.dropped && job.check == check &&
            same_arg(job.arg, arg) &&
            (!found || job.order < found->order))
            found = &job;
    return found;
}

static int count_free() {
    int count = 0;
    for (const Job &job : jobs) count += job.state == JOB_FREE;
    return count;
}

static Job *new_job(CheckFn check, const char *arg, JobState state) {
    for (Job &job : jobs) {
        if (job.state != JOB_FREE) continue;
        job = Job{};
        job.state = state;
        job.check = check;
        job.arg = arg;
        job.order = next_order++;
        job.deadline_ms = job.fork_deadline_ms = -1;
        return &job;
    }
    return nullptr;
}

static void free_job(Job *job) {
    close_channels(&job->channels);
    job->state = JOB_FREE;
}

static void end_watchdog(Job *job) {
    if (!job->watchdog_pid) return;
    kill(job->watchdog_pid, SIGKILL);
    waitpid(job->watchdog_pid, nullptr, 0);
    job->watchdog_pid = 0;
}

static void drop_job(Job *job);

// A check that ended lets the one waiting for its pass go, or drops it.
static void end_job(Job *job) {
    end_watchdog(job);
    job->state = JOB_ENDED;
    bool passed = !job->dropped && outcome_of(job) == TEST_PASSED;
    for (Job &other : jobs) {
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

static void drop_job(Job *job) {
    job->dropped = true;
    if (job->state == JOB_RUNNING && job->test_pid > 0)
        kill(job->test_pid, SIGKILL);
    else if (job->state != JOB_RUNNING)
        end_job(job);
}

static void time_out(Job *job, long long now) {
    job->timed_out = true;
    kill(job->test_pid, SIGKILL);
    job->deadline_ms = now + kill_grace_ms;
}

static void note_exit(pid_t pid, int status) {
    for (Job &job : jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (pid == job.test_pid) {
            job.status = status;
            job.exited = true;
            job.test_pid = 0;
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
    for (Job &job : jobs)
        if (job.state == JOB_RUNNING && job.test_pid > 0 && !job.timed_out) {
            job.wait_error = error;
            job.test_pid = 0;
        }
}

static void reap_children() {
    for (;;) {
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            note_exit(pid, status);
            // A process slot came free.
            fork_retry_at_ms = 0;
            fork_retry_ms = first_fork_retry_ms;
        } else if (pid == 0) {
            return;
        } else if (errno != EINTR) {
            note_wait_failure(errno);
            return;
        }
    }
}

// Only after every exit is in: a test child that ended in time beats a
// watchdog reaped in the same round.
static void settle_jobs(long long now) {
    for (Job &job : jobs) {
        if (job.state != JOB_RUNNING) continue;
        if (job.exited || job.wait_error) {
            end_job(&job);
        } else if (!job.timed_out) {
            if (job.watchdog_rang || (job.deadline_ms >= 0 && now >= job.deadline_ms))
                time_out(&job, now);
        } else if (now >= job.deadline_ms) {
            // Killed and still there: given up, reaped unnoticed if it ever goes.
            job.test_pid = 0;
            end_job(&job);
        }
    }
}

static void sample_work(long long now) {
    for (Job &job : jobs) {
        if (job.state != JOB_RUNNING || job.test_pid <= 0 || now - job.sampled_ms < work_sample_ms)
            continue;
        long long ticks = processor_ticks(job.test_pid);
        job.waiting = ticks >= 0 && ticks == job.ticks;
        job.ticks = ticks;
        job.sampled_ms = now;
    }
}

struct Load {
    int in_flight, at_work, holding_channels;
};

static Load current_load() {
    Load load = {0, 0, 0};
    for (const Job &job : jobs) {
        if (job.state == JOB_RUNNING) {
            ++load.in_flight;
            load.at_work += !job.waiting;
        }
        load.holding_channels += job.channels.report >= 0;
    }
    return load;
}

static void back_off(long long now) {
    one_at_a_time = 1;
    fork_retry_at_ms = now + fork_retry_ms;
    if (fork_retry_ms < last_fork_retry_ms) fork_retry_ms *= 2;
}

// While children of ours run, a refused fork waits for them to go: fewer at
// once, never a false finding. With none of ours left, the check's own
// limit runs from that try.
static bool fork_refused(Job *job, long long now, const Load &load, int error) {
    if (error != EAGAIN || (job->fork_deadline_ms >= 0 && now >= job->fork_deadline_ms)) return false;
    if (job->fork_deadline_ms < 0 && load.in_flight == 0) job->fork_deadline_ms = now + limit_ms;
    back_off(now);
    return true;
}

enum StartResult { STARTED, DEFERRED };

// A check whose child could not be made: tried again later, or broken.
static StartResult not_started(Job *job, long long now, const Load &load, int error) {
    if (fork_refused(job, now, load, error)) return DEFERRED;
    job->no_fork = true;
    end_job(job);
    return STARTED;
}

static pid_t spawn_shell(const char *command, int *error);

static StartResult start_shell(Job *job, long long now, const Load &load) {
    int error = 0;
    pid_t pid = spawn_shell(job->arg, &error);
    if (pid < 0) return not_started(job, now, load, error);
    job->state = JOB_RUNNING;
    job->test_pid = pid;
    job->sampled_ms = now;
    job->deadline_ms = now + limit_ms;
    return STARTED;
}

// Beside other children the watchdog is forked first: a check that cannot
// have both waits, so that it never runs without a watchdog where it would
// have had one alone (the trace says when it has none). Alone, it goes as
// it always did: without a watchdog (its fork failed, as under a process
// limit) the loop keeps the time itself, and the test still gets its 5
// seconds and its real outcome.
static StartResult start_job(Job *job, long long now, const Load &load, bool wanted) {
    if (job->shell) return start_shell(job, now, load);
    if (!in_check_child && job->channels.report < 0 && !open_channels(&job->channels)) {
        // Others hold descriptors they give back once asked for; the check
        // the sequence waits for cannot wait for that.
        if (load.holding_channels > 0 && !wanted) return DEFERRED;
        job->no_channels = true;
        end_job(job);
        return STARTED;
    }
    flush_output();
    pid_t parent = getpid();
    bool alone = load.in_flight == 0;
    pid_t watchdog = 0;
    if (!alone) {
        watchdog = fork();
        if (watchdog == 0) run_watchdog_child(parent);
        if (watchdog < 0) {
            back_off(now);
            return DEFERRED;
        }
    }
    pid_t pid = fork();
    if (pid == 0) run_test_child(job, parent);
    if (pid < 0) {
        int error = errno;
        if (watchdog > 0) {
            kill(watchdog, SIGKILL);
            waitpid(watchdog, nullptr, 0);
        }
        return not_started(job, now, load, error);
    }
    job->state = JOB_RUNNING;
    job->test_pid = pid;
    job->sampled_ms = now;
    if (alone) {
        watchdog = fork();
        if (watchdog == 0) run_watchdog_child(parent);
    }
    job->watchdog_pid = watchdog > 0 ? watchdog : 0;
    if (watchdog < 0) {
        job->no_watchdog = true;
        job->deadline_ms = now + limit_ms;
        // A nested run's child writes its lines live: the trace goes first.
        if (in_check_child) debug_trace("Unable to fork watchdog for test\n");
    }
    return STARTED;
}

static Job *next_queued() {
    Job *next = nullptr;
    for (Job &job : jobs)
        if (job.state == JOB_QUEUED && (!next || job.order < next->order)) next = &job;
    return next;
}

// The check the sequence waits for starts at once; the others as the bound
// allows, in the order of their priority.
static void start_ready(Job *wanted, long long now) {
    if (now < fork_retry_at_ms) return;
    if (one_at_a_time < 0) one_at_a_time = process_limit_is_tight();
    if (one_at_a_time) {
        if (wanted && wanted->state == JOB_QUEUED && current_load().in_flight == 0)
            start_job(wanted, now, current_load(), true);
        return;
    }
    if (wanted && wanted->state == JOB_QUEUED && start_job(wanted, now, current_load(), true) == DEFERRED)
        return;
    for (;;) {
        Load load = current_load();
        if (load.in_flight >= max_children_in_flight || load.at_work >= processors_available() ||
            load.holding_channels >= channel_budget())
            return;
        Job *next = next_queued();
        if (!next || start_job(next, now, load, false) == DEFERRED) return;
    }
}

static void run_loop_once(Job *wanted) {
    reap_children();
    long long now = monotonic_ms();
    settle_jobs(now);
    sample_work(now);
    start_ready(wanted, now);
}

static long long earlier(long long a, long long b) { return a < 0 || (b >= 0 && b < a) ? b : a; }

// Until a child ends, a deadline passes, a refused fork may be tried again
// or a child's work is due to be looked at (when others wait to start).
static void wait_for_next_event() {
    long long wake = -1;
    bool queued = next_queued() != nullptr;
    for (const Job &job : jobs) {
        if (job.state != JOB_RUNNING) continue;
        wake = earlier(wake, job.deadline_ms);
        if (queued && !job.waiting) wake = earlier(wake, job.sampled_ms + work_sample_ms);
    }
    if (queued && fork_retry_at_ms > 0) wake = earlier(wake, fork_retry_at_ms);
    wait_for_event(wake, -1);
    end_run_if_terminated();
}

static void wait_for_end(Job *job) {
    for (;;) {
        run_loop_once(job);
        if (job->state == JOB_ENDED) return;
        wait_for_next_event();
    }
}

// The lines the runner writes about a check go where a sequential run
// writes them: about its start before the child's own, its time-out after.
static TestOutcome take_outcome(Job *job) {
    if (job->no_channels) debug_trace("Unable to create channels for test\n");
    if (job->no_fork) debug_trace("Unable to fork for test\n");
    if (job->no_watchdog && !in_check_child) debug_trace("Unable to fork watchdog for test\n");
    if (job->wait_error) debug_trace("Unable to wait for test child (%d)\n", job->wait_error);
    if (!job->no_channels && !job->no_fork && !job->wait_error) {
        bool died = job->timed_out || !WIFEXITED(job->status);
        copy_channels_out(job->channels, died);
        if (job->timed_out) debug_trace("Wait for test child timed out\n");
    }
    TestOutcome outcome = outcome_of(job);
    free_job(job);
    return outcome;
}

// Room is kept for the checks the sequence asks for without a start ahead.
constexpr int jobs_kept_free = 8;

void start_isolated(CheckFn check, const char *arg) {
    if (count_free() > jobs_kept_free) new_job(check, arg, JOB_QUEUED);
}

void start_isolated_after(CheckFn before, const char *before_arg, CheckFn check, const char *arg) {
    Job *first = find_job(before, before_arg);
    if (!first || count_free() <= jobs_kept_free) return;
    Job *job = new_job(check, arg, JOB_AFTER);
    job->after = first;
}

void drop_isolated(CheckFn check, const char *arg) {
    if (Job *job = find_job(check, arg)) drop_job(job);
}

TestOutcome run_isolated(CheckFn check, const char *arg) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    Job *job = find_job(check, arg);
    if (!job) job = new_job(check, arg, JOB_QUEUED);
    // Asked for before the check it waited for passed: it runs now.
    if (job->state == JOB_AFTER) job->state = JOB_QUEUED;
    wait_for_end(job);
    TestOutcome outcome = take_outcome(job);
    return_child_signal(&loan);
    return outcome;
}

static pid_t spawn_shell(const char *command, int *error) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t mask, defaults;
    launcher_signal_state(&mask, &defaults);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char *argv[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                    const_cast<char *>(command), nullptr};
    pid_t pid = -1;
    *error = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
    if (*error != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// The command is waited for in the same loop as the checks, which go on
// meanwhile; a spawn refused for want of processes waits for them as a
// check's fork does. What the shell starts and leaves behind when it is
// killed is adopted and ended with the rest at exit.
int run_shell_command(const char *command) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    int status = -1;
    if (Job *job = new_job(nullptr, command, JOB_QUEUED)) {
        job->shell = true;
        wait_for_end(job);
        if (job->exited) status = job->status;
        free_job(job);
    }
    return_child_signal(&loan);
    return status;
}
