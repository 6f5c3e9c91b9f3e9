// Temporary: run_query on fork/exec of its own, until the shared outside
// program runner is merged; then run_query calls that instead.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "model/package_query.h"

namespace {

const size_t query_output_bound = 8u << 20;

long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

[[noreturn]] void exec_query(const std::vector<std::string> &argv, int out, int err_pipe) {
    int null_in = open("/dev/null", O_RDONLY);
    int null_err = open("/dev/null", O_WRONLY);
    if (null_in < 0 || null_err < 0 || dup2(null_in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(null_err, 2) < 0)
        _exit(127);
    setenv("LC_ALL", "C", 1);
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    int error = errno;
    if (write(err_pipe, &error, sizeof error) < 0) _exit(127);
    _exit(127);
}

} // namespace

bool run_query(const std::vector<std::string> &argv, int seconds, std::string *output,
               std::string *problem) {
    output->clear();
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return *problem = "could not be started", false;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]), close(out[1]);
        return *problem = "could not be started", false;
    }
    pid_t pid = fork();
    if (pid == 0) exec_query(argv, out[1], err[1]);
    close(out[1]), close(err[1]);
    if (pid < 0) {
        close(out[0]), close(err[0]);
        return *problem = "could not be started", false;
    }
    long long deadline = now_ms() + seconds * 1000LL;
    bool timed_out = false;
    char buffer[65536];
    for (;;) {
        long long left = deadline - now_ms();
        pollfd p = {out[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)left) == 0) {
            timed_out = true;
            break;
        }
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output->size() < query_output_bound)
            output->append(buffer, std::min((size_t)n, query_output_bound - output->size()));
    }
    if (timed_out) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    int exec_error = 0;
    bool exec_failed = read(err[0], &exec_error, sizeof exec_error) == sizeof exec_error;
    close(out[0]), close(err[0]);
    if (exec_failed) return *problem = std::string("did not start: ") + strerror(exec_error), false;
    if (timed_out)
        return *problem = "did not answer within " + std::to_string(seconds) + " s", false;
    if (WIFSIGNALED(status))
        return *problem = "was killed by signal " + std::to_string(WTERMSIG(status)), false;
    return true;
}
