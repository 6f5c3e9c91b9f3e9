// Runs a built program as a front end would: chosen argv[0], arguments and
// environment; gives back stdout, stderr and the wait status.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProgramUnderTest {
    const char *name;  // "tarvek" or "tarvek64"
    const char *path;
    int bits;
    const char *suffix;  // "" or ".amd64"
};

// Both builds, for tests parameterised over them.
const std::vector<ProgramUnderTest> &programs_under_test();

// Where the program's standard output goes.
enum class StdoutTarget {
    captured,      // a pipe read by the harness
    closed,        // descriptor 1 not open at all
    dev_full,      // every write fails with ENOSPC
    reader_gone,   // a pipe whose read end is closed before the program starts
};

struct RunOptions {
    std::vector<std::string> args;          // after argv[0]
    std::optional<std::string> argv0;       // default: the program's path
    bool empty_argv = false;                // argc 0: no argv[0] at all
    std::map<std::string, std::string> set_env;
    std::vector<std::string> unset_env;
    std::vector<std::string> blocked_sonames;  // made unloadable for this run
    std::string library_path;                  // prepended to LD_LIBRARY_PATH
    std::vector<int> ignored_signals;  // dispositions the program inherits
    std::vector<int> blocked_signals;
    int timeout_seconds = 120;
    StdoutTarget stdout_target = StdoutTarget::captured;
    std::vector<std::string> wrapper;  // a command the program runs under, e.g. valgrind
    std::string working_dir;           // default: the test's own
    bool check_report = true;  // read stdout as a report when the run exits 0
};

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;    // raw wait status
    double seconds = 0; // wall time
    int exit_code() const;
};

RunResult run_program(const ProgramUnderTest &program, const RunOptions &options);
std::string fixture_path(int bits, const std::string &file);
