// The keeper stays until it is killed: had it ended on its own, the runner
// could reap it and its pid go to another child before we wait for it.
#include "isolate/outside_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "isolate/check_time.h"
#include "isolate/descendants.h"
#include "isolate/process_signals.h"

// What the keeper tells: the exec's errno, or how the program ended.
struct EndNote {
    int start_error;
    int wait_status;
};

static void close_fd(int *fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

[[noreturn]] static void exec_program(char *const argv[], char *const envp[], int out, int err,
                                      int tell_fd) {
    int in = open("/dev/null", O_RDONLY);
    if (err < 0) err = open("/dev/null", O_WRONLY);
    if (in >= 0 && err >= 0 && dup2(in, 0) >= 0 && dup2(out, 1) >= 0 && dup2(err, 2) >= 0)
        execve(argv[0], argv, envp);
    int error = errno;
    if (write(tell_fd, &error, sizeof error) < 0) _exit(127);
    _exit(127);
}

// SIGCHLD at its default: a launcher's SIG_IGN would have the kernel reap
// the program before the keeper could learn how it ended.
[[noreturn]] static void keep(char *const argv[], char *const envp[], int out, int err,
                              int end_fd) {
    restore_launcher_signals();
    // A session of its own, as a check's: its group is ended with it, and a
    // package manager cannot stop for the terminal or take it.
    setsid();
    signal(SIGCHLD, SIG_DFL);
    EndNote note = {0, 0};
    int exec_pipe[2];
    pid_t pid = -1;
    if (pipe2(exec_pipe, O_CLOEXEC) != 0 || (pid = fork()) < 0) note.start_error = errno;
    if (pid == 0) exec_program(argv, envp, out, err, exec_pipe[1]);
    if (pid > 0) {
        close(exec_pipe[1]);
        if (read(exec_pipe[0], &note.start_error, sizeof note.start_error) <= 0)
            note.start_error = 0;
        while (waitpid(pid, &note.wait_status, 0) < 0 && errno == EINTR) {
        }
    }
    if (write(end_fd, &note, sizeof note) < 0) _exit(127);
    for (;;) pause();
}

OutsideProgram start_outside_program(char *const argv[], char *const envp[], size_t bound,
                                     unsigned seconds, bool keep_errors) {
    OutsideProgram program;
    program.bound = bound;
    program.deadline_ms = monotonic_ms() + 1000LL * seconds;
    int out[2] = {-1, -1}, err[2] = {-1, -1}, end[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (keep_errors && pipe2(err, O_CLOEXEC) != 0) ||
        pipe2(end, O_CLOEXEC) != 0) {
        program.start_error = errno;
    } else if ((program.keeper = fork()) == 0) {
        keep(argv, envp, out[1], err[1], end[1]);
    } else if (program.keeper < 0) {
        program.start_error = errno;
        program.keeper = 0;
    } else {
        note_run_child(program.keeper);
    }
    close_fd(&out[1]);
    close_fd(&err[1]);
    close_fd(&end[1]);
    if (!program.keeper) {
        close_fd(&out[0]);
        close_fd(&err[0]);
        close_fd(&end[0]);
    }
    program.output_fd = out[0];
    program.errors_fd = err[0];
    program.end_fd = end[0];
    return program;
}

// The run's one wait, so that a termination signal ends the run here too.
static void wait_readable(const int *fds, int count, long long deadline_ms) {
    wait_for_event(deadline_ms, -1, fds, count);
    end_run_if_terminated();
}

// Past the bound the bytes are still read, so that the program never
// blocks on a full pipe, and dropped. End of file closes the descriptor.
static void take_bytes(int *fd, std::string *kept, bool *truncated, size_t bound) {
    char buffer[16384];
    ssize_t n;
    while ((n = read(*fd, buffer, sizeof buffer)) > 0) {
        size_t room = bound - kept->size();
        size_t taken = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
        kept->append(buffer, taken);
        if (taken < static_cast<size_t>(n)) *truncated = true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) close_fd(fd);
}

static void take_output(OutsideProgram *program, OutsideResult *result) {
    if (program->output_fd >= 0)
        take_bytes(&program->output_fd, &result->output, &result->output_truncated, program->bound);
    if (program->errors_fd >= 0)
        take_bytes(&program->errors_fd, &result->errors, &result->errors_truncated, program->bound);
}

void finish_outside_program(OutsideProgram *program, OutsideResult *result) {
    *result = OutsideResult{};
    result->start_error = program->start_error;
    if (!program->keeper) return;
    for (int fd : {program->output_fd, program->errors_fd, program->end_fd})
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    EndNote note = {0, 0};
    size_t got = 0;
    while (program->end_fd >= 0) {
        int fds[3] = {program->end_fd, program->output_fd, program->errors_fd};
        wait_readable(fds, program->errors_fd >= 0 ? 3 : 2, program->deadline_ms);
        take_output(program, result);
        ssize_t n = read(program->end_fd, reinterpret_cast<char *>(&note) + got, sizeof note - got);
        if (n > 0) got += static_cast<size_t>(n);
        if (got == sizeof note || n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        if (monotonic_ms() >= program->deadline_ms) {
            result->timed_out = true;
            break;
        }
    }
    // What it wrote before it ended is in the pipes by now.
    take_output(program, result);
    // Signalled only while it is our unreaped child: once the run's loop
    // has reaped it (something else killed it), its number may be another's.
    // The keeper itself too, in case its own group was not made yet.
    siginfo_t info;
    if (waitid(P_PID, static_cast<id_t>(program->keeper), &info, WEXITED | WNOHANG | WNOWAIT) ==
        0) {
        kill(-program->keeper, SIGKILL);
        kill(program->keeper, SIGKILL);
        while (waitpid(program->keeper, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    program->keeper = 0;
    for (int *fd : {&program->output_fd, &program->errors_fd, &program->end_fd}) close_fd(fd);
    if (got != sizeof note) return;
    result->start_error = note.start_error;
    result->ended = !note.start_error;
    result->wait_status = note.wait_status;
}
