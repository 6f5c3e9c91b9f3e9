// Outside programs and shell commands: jobs of the loop like the checks,
// started at once (their argument vectors are the caller's), their output
// drained from pipes into memory up to a bound.
#include <unistd.h>

#include <cerrno>

#include "isolate/outside_program.h"
#include "isolate/run_isolated.h"
#include "isolate/runner.h"
#include "isolate/signals.h"

extern char **environ;

// Started before this returns: argv and envp are the caller's.
static Job *start_program(char *const argv[], char *const envp[], long long bound,
                          unsigned seconds, bool keep_errors) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    claim_jobs();
    Job *job = new_job(KIND_PROGRAM, nullptr, argv[0]);
    if (job) {
        job->argv = argv;
        job->envp = envp;
        job->bound = bound;
        job->keep_errors = keep_errors;
        job->limit_ms = seconds * 1000LL;
        wait_for_start(job);
        job->argv = job->envp = nullptr;
    }
    return_child_signal(&loan);
    return job;
}

static void wait_for_program(Job *job) {
    ChildSignalLoan loan;
    borrow_child_signal(&loan);
    wait_for_end(job);
    return_child_signal(&loan);
}

// What the shell starts and leaves behind when it is killed is adopted and
// ended with the rest at exit.
int run_shell_command(const char *command) {
    char *argv[] = {const_cast<char *>("/bin/sh"), const_cast<char *>("-c"),
                    const_cast<char *>(command), nullptr};
    Job *job = start_program(argv, environ, 0, watchdog_seconds, false);
    if (!job) return -1;
    wait_for_program(job);
    int status = job->end == END_NO_FORK ? -1 : job->status;
    free_job(job);
    return status;
}

OutsideProgram start_outside_program(char *const argv[], char *const envp[], size_t bound,
                                     unsigned seconds, bool keep_errors) {
    OutsideProgram program;
    program.job = start_program(argv, envp, static_cast<long long>(bound), seconds, keep_errors);
    if (!program.job) program.start_error = EAGAIN;
    if (program.job && program.job->end == END_NO_FORK) {
        program.start_error = program.job->start_error;
        free_job(program.job);
        program.job = nullptr;
    }
    return program;
}

void finish_outside_program(OutsideProgram *program, OutsideResult *result) {
    *result = OutsideResult{};
    result->start_error = program->start_error;
    Job *job = program->job;
    if (!job) return;
    wait_for_program(job);
    drain_channels(&job->channels);
    int error = 0;
    if (read(job->exec_error, &error, sizeof error) == sizeof error) result->start_error = error;
    result->ended = job->end == END_EXITED && !result->start_error;
    result->wait_status = job->status;
    result->timed_out = job->end == END_TIMED_OUT;
    result->output_truncated = take_drained(job->channels.report_drained, &result->output);
    result->errors_truncated = take_drained(job->channels.err_drained, &result->errors);
    free_job(job);
    program->job = nullptr;
}
