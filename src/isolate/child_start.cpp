// Starting a job: its channels and its child, or the reason it must wait
// (a refused fork, channels others still hold) or ended at once. _exit, not
// exit, in every child: it must not run atexit handlers or library
// finalisers that belong to the parent, nor write the parent's buffers again.
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "isolate/runner.h"
#include "isolate/signals.h"
#include "report/report.h"

// While children of ours run, a refused fork waits for them to go: fewer at
// once, never a false finding. With none of ours left, it waits one
// watchdog period, once in the run: a system that stays full that long
// stays so, and each later check would wait in vain.
static StartResult not_started(Job *job, long long now, const Load &load, int error) {
    BackOff &back_off = runner.back_off;
    if (error == EAGAIN && load.in_flight == 0 && back_off.refused_until_ms < 0)
        back_off.refused_until_ms = now + watchdog_seconds * 1000LL;
    if (error == EAGAIN && (load.in_flight > 0 || now < back_off.refused_until_ms)) {
        back_off = backed_off(back_off, now);
        return START_DEFERRED;
    }
    job->end = END_NO_FORK;
    job->start_error = error;
    finish_job(job);
    return START_ENDED;
}

// A session of its own: a library's or a script's kill(0, ...) reaches its
// own job alone, its group ends with it, and without a controlling terminal
// no library can be stopped by terminal job control or take the terminal
// from the program. It must not outlive the process that waits for it: when
// a check that nests a run is ended, nobody is left to kill its children.
static void become_child(pid_t parent, const Job *own) {
    setsid();
    restore_launcher_signals();
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // The parent may have gone before the request was in place.
    if (getppid() != parent) raise(SIGKILL);
    drop_real_stdout(own && own->direct);
    for (const Job &job : runner.jobs) {
        if (&job == own) continue;
        close_channel_descriptors(job.channels);
        if (job.exec_error >= 0) close(job.exec_error);
    }
}

[[noreturn]] static void run_test_child(Job *job, pid_t parent) {
    Channels channels = job->channels;
    long long enclosing = ceiling_ms(*job);
    become_child(parent, job);
    // A crash inside a library is a finding, not a core file in the user's
    // directory or a report to the system's crash collector.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    if (channels.err >= 0) {
        enter_channels(channels);
        runner.in_check_child = true;
        runner.enclosing_ceiling_ms = enclosing;
    }
    int result = job->check(job->arg);
    flush_output();
    check_report_channel();
    _exit(result ? 0 : failed_check_exit_code);
}

// A program that captures gets stdin from /dev/null; a command keeps what
// system() would give it.
[[noreturn]] static void run_program(Job *job, pid_t parent, int tell_fd) {
    become_child(parent, job);
    const Channels &channels = job->channels;
    if (job->bound) {
        int none = open("/dev/null", O_RDWR);
        dup2(none, STDIN_FILENO);
        dup2(channels.report_in, STDOUT_FILENO);
        dup2(job->keep_errors ? channels.err_in : none, STDERR_FILENO);
    }
    execve(job->argv[0], job->argv, job->envp);
    int error = errno;
    if (write(tell_fd, &error, sizeof error) < 0) _exit(127);
    _exit(127);
}

static void mark_running(Job *job, pid_t pid, long long now) {
    if (!runner.first_child) runner.first_child = pid;
    job->state = JOB_RUNNING;
    job->pid = pid;
    job->sampled_ms = now;
    job->continues_seen = run_continues();
    // Most checks end long before their clock is first read.
    job->next_read_ms =
        now + (job->limit_ms < clock_read_every_ms ? job->limit_ms : clock_read_every_ms);
}

static StartResult start_program(Job *job, long long now, const Load &load) {
    int tell[2] = {-1, -1};
    if (job->exec_error < 0 &&
        ((job->bound && !open_program_channels(&job->channels, job->bound, job->keep_errors)) ||
         pipe2(tell, O_CLOEXEC | O_NONBLOCK) != 0))
        return not_started(job, now, load, errno);
    if (tell[0] >= 0) job->exec_error = tell[0];
    start_clock(&job->clock, now);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) run_program(job, parent, tell[1]);
    int error = errno;
    if (tell[1] >= 0) close(tell[1]);
    if (pid < 0) return not_started(job, now, load, error);
    release_child_ends(&job->channels);
    mark_running(job, pid, now);
    return START_RUNNING;
}

// Only under a tight process limit, where the trace tells whether one could
// be had; the loop keeps every job's time. It waits to be killed with its
// check.
static void fork_watchdog(Job *job, pid_t parent) {
    pid_t watchdog = fork();
    if (watchdog == 0) {
        become_child(parent, nullptr);
        sleep(static_cast<unsigned>(run_ceiling_ms / 1000));
        _exit(0);
    }
    job->watchdog_pid = watchdog > 0 ? watchdog : 0;
    job->no_watchdog = watchdog < 0;
    // A nested run's child writes its lines live: the trace goes first.
    if (watchdog < 0 && runner.in_check_child) debug_trace("Unable to fork watchdog for test\n");
}

StartResult start_job(Job *job, long long now, const Load &load, bool wanted) {
    if (job->kind == KIND_PROGRAM) return start_program(job, now, load);
    bool report = writes_report(job->check);
    if (!runner.in_check_child && !job->direct && job->channels.err < 0 &&
        !open_check_channels(&job->channels, report)) {
        // It waits until the sequence asks for it, others' descriptors given
        // back meanwhile; then, with none still, it writes straight to the
        // report as a check run alone would: its report is the same.
        if (!wanted) return START_DEFERRED;
        debug_trace("Unable to create channels for test\n");
        job->direct = true;
        if (report) note_report_bypassed();
    }
    flush_output();
    // Started before the fork: the child's nested runs end before its ceiling.
    start_clock(&job->clock, now);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) run_test_child(job, parent);
    if (pid < 0) return not_started(job, now, load, errno);
    release_child_ends(&job->channels);
    mark_running(job, pid, now);
    if (runner.bounds.tight_process_limit) fork_watchdog(job, parent);
    return START_RUNNING;
}
