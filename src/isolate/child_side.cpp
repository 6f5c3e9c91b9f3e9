// _exit, not exit, in every child: it must not run atexit handlers or
// library finalisers that belong to the parent, nor write the parent's
// buffers again.
#include "isolate/child_side.h"

#include <spawn.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>

#include "isolate/check_time.h"
#include "isolate/process_signals.h"
#include "isolate/report_output.h"

extern char **environ;

// A child must not outlive the process that waits for it. When a check that
// nests a run (the audio check's libpulse probe) is itself ended by its own
// watchdog, nobody is left to kill the nested children.
static void end_with_parent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    // The parent may have gone before the request was in place.
    if (getppid() != parent) raise(SIGKILL);
}

// A session of its own: a library's or a script's kill(0, ...) reaches its
// own check alone, and without a controlling terminal no library can be
// stopped by terminal job control or take the terminal from the program.
static void become_child(pid_t parent, const Job *own) {
    setsid();
    restore_launcher_signals();
    end_with_parent(parent);
    drop_real_stdout(own && own->direct);
    forget_jobs(own);
}

void run_test_child(Job *job, pid_t parent) {
    CheckFn check = job->check;
    const char *arg = job->arg;
    Channels channels = job->channels;
    become_child(parent, job);
    // A crash inside a library is a finding, not a core file in the user's
    // directory or a report to the system's crash collector.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    if (channels.err >= 0) {
        enter_channels(channels);
        runner.in_check_child = true;
    }
    int result = check(arg);
    flush_output();
    check_report_channel();
    _exit(result ? 0 : failed_check_exit_code);
}

// It keeps no time: it is there, or could not be had, as the trace says.
void run_watchdog_child(pid_t parent) {
    become_child(parent, nullptr);
    sleep(static_cast<unsigned>(run_ceiling_ms / 1000));
    _exit(0);
}

pid_t spawn_shell(const char *command, int *error) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t mask, defaults;
    launcher_signal_state(&mask, &defaults);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setflags(&attributes, flags);
    char *argv[] = {const_cast<char *>("sh"), const_cast<char *>("-c"), const_cast<char *>(command),
                    nullptr};
    pid_t pid = -1;
    *error = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
    if (*error != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    return pid;
}
