// Runs one program the three ways the benchmark measures it: timed alone,
// traced for the main process's own peak memory, and under the fork-counting
// preload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fork_log.h"

struct Command {
    std::vector<std::string> argv; // argv[0] is the file executed
    std::vector<std::string> env;  // NAME=VALUE, added to or replacing ours
    std::string stdout_path = "/dev/null";
    std::string stderr_path = "/dev/null";
};

struct RunTimes {
    int status = -1; // raw wait status; -1 when the program could not be started
    int64_t start_ns = 0;
    int64_t end_ns = 0;
    double seconds() const { return (end_ns - start_ns) / 1e9; }
    bool exited_cleanly() const { return status == 0; }
};

int64_t monotonic_ns();

// Start to reaped exit of the main process, on CLOCK_MONOTONIC.
RunTimes run_timed(const Command &command);

struct MemoryRun {
    int status = -1;
    long peak_kb = -1; // VmHWM of the main process at its exit, -1 if unseen
};

// Traces only the main process (its children stay untraced) and reads its
// VmHWM at the exit stop; every signal it receives is passed on to it.
MemoryRun run_for_peak_memory(const Command &command);

// A file-backed shared page for the preload to fill; reset before each run.
struct ForkLogFile {
    std::string path;
    fork_log *log = nullptr;
};

bool create_fork_log(const std::string &directory, ForkLogFile *file);
void reset_fork_log(ForkLogFile *file);
void destroy_fork_log(ForkLogFile *file);

// The command with the preload and the log named in its environment.
Command with_fork_log(Command command, const ForkLogFile &file, const std::string &preload);
