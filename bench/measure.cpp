// Process plumbing of the benchmark: posix_spawn for the timed runs (the
// cheapest start there is, the same for program and floor), fork+ptrace for
// the memory runs, a mapped file for the fork log.
#include "measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

extern char **environ;

int64_t monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

static std::string env_name(const std::string &entry) { return entry.substr(0, entry.find('=')); }

static std::vector<std::string> merged_environment(const std::vector<std::string> &extra) {
    std::vector<std::string> merged;
    for (char **entry = environ; *entry; ++entry) {
        std::string name = env_name(*entry);
        bool replaced = false;
        for (const auto &e : extra)
            replaced = replaced || env_name(e) == name;
        if (!replaced) merged.push_back(*entry);
    }
    merged.insert(merged.end(), extra.begin(), extra.end());
    return merged;
}

static std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> result;
    for (auto &s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

static int open_output(const std::string &path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

RunTimes run_timed(const Command &command) {
    std::vector<std::string> args = command.argv, env = merged_environment(command.env);
    std::vector<char *> argv = pointers(args), envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, command.stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, command.stderr_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    RunTimes times;
    pid_t pid = -1;
    times.start_ns = monotonic_ns();
    int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    if (error == 0 && waitpid(pid, &times.status, 0) != pid) times.status = -1;
    times.end_ns = monotonic_ns();
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) times.status = -1;
    return times;
}

[[noreturn]] static void exec_traced(const Command &command, char **argv, char **envp) {
    int in = open("/dev/null", O_RDONLY), out = open_output(command.stdout_path),
        err = open_output(command.stderr_path);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(127);
    raise(SIGSTOP); // let the parent set its options before the exec
    execve(argv[0], argv, envp);
    _exit(127);
}

static long read_vm_hwm(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE *status = fopen(path, "re");
    if (!status) return -1;
    long kb = -1;
    char line[256];
    while (fgets(line, sizeof line, status))
        if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    fclose(status);
    return kb;
}

// One ptrace stop: the exit event is where VmHWM is final (of the program
// only once its exec is done: before, it is a copy of ours); any other stop
// that is not an event is a signal for the tracee, handed on unchanged so
// that it behaves as it would untraced.
static void resume_after_stop(pid_t pid, int status, bool *exec_done, MemoryRun *run) {
    int event = status >> 16;
    int signal_to_pass = 0;
    if (event == PTRACE_EVENT_EXEC) {
        *exec_done = true;
    } else if (event == PTRACE_EVENT_EXIT) {
        if (*exec_done) run->peak_kb = read_vm_hwm(pid);
    } else if (event == 0) {
        // No signal information: a group stop, which we do not hold.
        siginfo_t info;
        if (ptrace(PTRACE_GETSIGINFO, pid, nullptr, &info) == 0) signal_to_pass = WSTOPSIG(status);
    }
    ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void *>(static_cast<long>(signal_to_pass)));
}

MemoryRun run_for_peak_memory(const Command &command) {
    std::vector<std::string> args = command.argv, env = merged_environment(command.env);
    std::vector<char *> argv = pointers(args), envp = pointers(env);
    MemoryRun run;
    pid_t pid = fork();
    if (pid == 0) exec_traced(command, argv.data(), envp.data());
    if (pid < 0) return run;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return run;
    // No PTRACE_O_TRACEFORK: the tracee's children are never traced.
    long options = PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void *>(options));
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    bool exec_done = false;
    while (waitpid(pid, &status, 0) == pid) {
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            run.status = status;
            break;
        }
        resume_after_stop(pid, status, &exec_done, &run);
    }
    return run;
}

bool create_fork_log(const std::string &directory, ForkLogFile *file) {
    file->path = directory + "/fork-log";
    int fd = open(file->path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, sizeof(fork_log)) == 0;
    void *page = ok ? mmap(nullptr, sizeof(fork_log), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                    : MAP_FAILED;
    close(fd);
    if (page == MAP_FAILED) return false;
    file->log = static_cast<fork_log *>(page);
    return true;
}

void reset_fork_log(ForkLogFile *file) { memset(file->log, 0, sizeof(fork_log)); }

void destroy_fork_log(ForkLogFile *file) {
    if (file->log) munmap(file->log, sizeof(fork_log));
    file->log = nullptr;
    unlink(file->path.c_str());
}

Command with_fork_log(Command command, const ForkLogFile &file, const std::string &preload) {
    command.env.push_back("LD_PRELOAD=" + preload);
    command.env.push_back(std::string(FORK_LOG_ENV) + "=" + file.path);
    return command;
}
