// Another program run beside the checks: started at once, collected later,
// its output captured up to a bound, within a time of its own. It is one
// of the runner's jobs, ended and accounted for as a check is.
#pragma once

#include <cstddef>
#include <string>

struct Job;

struct OutsideProgram {
    Job *job = nullptr;  // null: nothing was started (start_error says why)
    int start_error = 0; // errno of the channels or the fork
};

struct OutsideResult {
    int start_error = 0;  // errno: ENOENT absent, EACCES not executable, ENOEXEC not for this kernel
    bool ended = false;   // wait_status holds its raw wait status
    int wait_status = 0;
    bool timed_out = false; // killed, with its group, at its time limit
    std::string output;     // standard output, at most the bound
    bool output_truncated = false;
    std::string errors;     // standard error, when asked for, at most the bound
    bool errors_truncated = false;
};

// argv[0] is the program's path (no search of PATH); envp is its whole
// environment; both are used before this returns. Standard input is
// /dev/null; standard error is captured when keep_errors is set, else
// /dev/null.
OutsideProgram start_outside_program(char *const argv[], char *const envp[], size_t bound,
                                     unsigned seconds, bool keep_errors);

// Waits until it ended or its time is up, and gives what it printed. Call
// once per started program.
void finish_outside_program(OutsideProgram *program, OutsideResult *result);
