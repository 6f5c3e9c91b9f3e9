// fork/execve with both output streams drained through poll, so a chatty
// program cannot deadlock the test on a full pipe.
#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "paths.h"
#include "program_test.h"
#include "report_parser.h"

#include <gtest/gtest.h>

extern char **environ;

const std::vector<ProgramUnderTest> &programs_under_test() {
    static const std::vector<ProgramUnderTest> programs = {
        {"tarvek", tarvek32_path, 32, ""},
        {"tarvek64", tarvek64_path, 64, ".amd64"},
    };
    return programs;
}

const char *why_not_runnable(const ProgramUnderTest &program) {
    const char *why = getenv("TARVEK_NO_32BIT_RUNS");
    return program.bits == 32 && why && *why ? why : nullptr;
}

int RunResult::exit_code() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

std::string fixture_path(int bits, const std::string &file) {
    return std::string(fixture_root) + "/" + std::to_string(bits) + "/" + file;
}

static std::vector<std::string> build_environment(const RunOptions &options) {
    std::map<std::string, std::string> env;
    for (char **entry = environ; *entry; ++entry) {
        const char *eq = strchr(*entry, '=');
        if (eq) env[std::string(*entry, static_cast<size_t>(eq - *entry))] = eq + 1;
    }
    // A sound server of the session the tests run in must not reach the programs.
    env.erase("PULSE_SERVER");
    env.erase("XDG_RUNTIME_DIR");
    for (const auto &name : options.unset_env) env.erase(name);
    for (const auto &[name, value] : options.set_env) env[name] = value;
    if (!options.library_path.empty()) {
        auto old = env.find("LD_LIBRARY_PATH");
        env["LD_LIBRARY_PATH"] =
            options.library_path + (old != env.end() ? ":" + old->second : std::string());
    }
    if (!options.blocked_sonames.empty()) {
        std::string list;
        for (const auto &soname : options.blocked_sonames) list += (list.empty() ? "" : ":") + soname;
        env["TARVEK_TEST_BLOCK"] = list;
        env["LD_PRELOAD"] = std::string(fixture_root) + "/preload/$LIB/libblock_dlopen.so";
    }
    std::vector<std::string> flat;
    for (const auto &[name, value] : env) flat.push_back(name + "=" + value);
    return flat;
}

static double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void drain(int out_fd, int err_fd, RunResult &result, double deadline, pid_t pid) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0) {
        int left_ms = static_cast<int>((deadline - now_seconds()) * 1000);
        if (left_ms <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, left_ms) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, n);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (auto &fd : fds)
        if (fd.fd >= 0) close(fd.fd);
}

static void redirect_stdout(StdoutTarget target, int pipe_write_end) {
    switch (target) {
    case StdoutTarget::captured:
    case StdoutTarget::reader_gone:
        dup2(pipe_write_end, 1);
        break;
    case StdoutTarget::closed:
        close(1);
        break;
    case StdoutTarget::dev_full: {
        int full = open("/dev/full", O_WRONLY);
        dup2(full, 1);
        close(full);
        break;
    }
    }
}

// Every run that produced a report has it read as the front end reads it,
// whatever else the test looks at.
static void check_report_if_any(const ProgramUnderTest &program, const RunOptions &options,
                                const RunResult &result) {
    if (!options.check_report || result.exit_code() != 0) return;
    if (result.out.rfind("Usage: ", 0) == 0) return;
    ParsedReport report = parse_report_strictly(result.out, program.bits);
    if (!report.ok()) ADD_FAILURE() << program.name << " wrote a malformed report: " << report.error
                                    << "\n" << result.out;
}

RunResult run_program(const ProgramUnderTest &program, const RunOptions &options) {
    std::vector<std::string> args = options.wrapper;
    if (!options.wrapper.empty()) args.push_back(program.path);
    if (!options.empty_argv && !options.wrapper.empty()) {
        args.insert(args.end(), options.args.begin(), options.args.end());
    } else if (!options.empty_argv) {
        args.push_back(options.argv0.value_or(program.path));
        args.insert(args.end(), options.args.begin(), options.args.end());
    }
    std::vector<std::string> env = build_environment(options);
    std::vector<char *> argv, envp;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return {};
    RunResult result;
    double start = now_seconds();
    if (options.stdout_target == StdoutTarget::reader_gone) close(out_pipe[0]);
    pid_t pid = fork();
    if (pid == 0) {
        redirect_stdout(options.stdout_target, out_pipe[1]);
        dup2(err_pipe[1], 2);
        if (options.stdout_target != StdoutTarget::reader_gone) close(out_pipe[0]);
        close(err_pipe[0]);
        // The program gets descriptors 0 to 2 and nothing else of ours, as
        // from a front end: a descriptor-limit test counts on it.
        for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd) close(fd);
        sigset_t blocked;
        sigemptyset(&blocked);
        for (int sig : options.blocked_signals) sigaddset(&blocked, sig);
        sigprocmask(SIG_SETMASK, &blocked, nullptr);
        for (int sig : options.ignored_signals) signal(sig, SIG_IGN);
        if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) _exit(126);
        execve(options.wrapper.empty() ? program.path : options.wrapper[0].c_str(), argv.data(),
               envp.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    // A pipe with no reader: give drain an empty, already closed stdout.
    if (options.stdout_target == StdoutTarget::reader_gone) out_pipe[0] = open("/dev/null", O_RDONLY);
    // The streams close when the program and every child still holding them
    // have gone: a leftover watchdog would show here as a slow run.
    drain(out_pipe[0], err_pipe[0], result, start + options.timeout_seconds, pid);
    waitpid(pid, &result.status, 0);
    result.seconds = now_seconds() - start;
    check_report_if_any(program, options, result);
    return result;
}
