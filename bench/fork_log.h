/* The page the fork-counting preload shares with the benchmark. One layout
 * for 32-bit and 64-bit processes: every 64-bit field sits at an offset that
 * is a multiple of 8, so i386's 4-byte alignment of int64_t changes nothing. */
#ifndef TARVEK_BENCH_FORK_LOG_H
#define TARVEK_BENCH_FORK_LOG_H

#include <stdint.h>

/* Path of the file holding the log; the main process takes it and removes
 * the variable, so programs started through exec are not counted. */
#define FORK_LOG_ENV "TARVEK_BENCH_FORK_LOG"
#define FORK_LOG_MAGIC 0x676f6c6bu
#define FORK_LOG_MAX_MAIN_FORKS 4096

struct fork_record {
    int64_t monotonic_ns; /* CLOCK_MONOTONIC just before the call */
    int64_t stderr_bytes; /* size of standard error then, when it is a file */
};

struct fork_log {
    uint32_t magic;        /* set by the shim when it took the log */
    uint32_t total_forks;  /* successful fork() calls in the main process and its descendants */
    uint32_t main_forks;   /* of those, made by the main process */
    uint32_t failed_forks; /* fork() calls that returned -1, anywhere */
    struct fork_record main[FORK_LOG_MAX_MAIN_FORKS];
};

#ifdef __cplusplus
static_assert(sizeof(fork_record) == 16 && sizeof(fork_log) == 16 + 16 * FORK_LOG_MAX_MAIN_FORKS,
              "one layout for both word sizes");
#else
_Static_assert(sizeof(struct fork_record) == 16 &&
                   sizeof(struct fork_log) == 16 + 16 * FORK_LOG_MAX_MAIN_FORKS,
               "one layout for both word sizes");
#endif

#endif
