// Another program run beside the checks: started at once, collected later,
// its standard output captured up to a bound, within a time of its own.
// A keeper process (a child of ours) starts it and tells how it ended, so
// that the runner, which reaps every child that ends, cannot take its
// status; the program and its keeper share a process group of their own.
#pragma once

#include <sys/types.h>

#include <string>

struct OutsideProgram {
    pid_t keeper = 0;    // 0: nothing was started (start_error says why)
    int start_error = 0; // errno of the pipe, the fork or the exec
    int output_fd = -1, errors_fd = -1, end_fd = -1;
    size_t bound = 0;
    long long deadline_ms = 0;
};

struct OutsideResult {
    int start_error = 0;  // errno: ENOENT absent, EACCES not executable, ENOEXEC not for this kernel
    bool ended = false;   // wait_status holds its raw wait status
    int wait_status = 0;
    bool timed_out = false; // killed, with its group, at the time bound
    std::string output;     // standard output, at most the bound
    bool output_truncated = false;
    std::string errors;     // standard error, when asked for, at most the bound
    bool errors_truncated = false;
};

// argv[0] is the program's path (no search of PATH); envp is its whole
// environment. Standard input is /dev/null; standard error is captured when
// keep_errors is set, else /dev/null.
OutsideProgram start_outside_program(char *const argv[], char *const envp[], size_t bound,
                                     unsigned seconds, bool keep_errors);

// Reads what it prints until it ends or its time is up (killing its whole
// group then), and reaps its keeper. Call once per started program.
void finish_outside_program(OutsideProgram *program, OutsideResult *result);
