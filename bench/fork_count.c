/* Preloaded into measured runs: counts fork() calls across the main process
 * and all its descendants in one shared mapping, and stamps each fork of the
 * main process with the time and the size of standard error so far. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "fork_log.h"

static struct fork_log *shared_log;
static int is_main_process;
static pid_t (*real_fork)(void);

__attribute__((constructor)) static void take_log(void) {
    real_fork = (pid_t(*)(void))dlsym(RTLD_NEXT, "fork");
    const char *path = getenv(FORK_LOG_ENV);
    if (!path) return;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    /* Only the process started with the variable counts as main; whatever
     * it execs (a shell, a helper) keeps its own forks to itself. */
    unsetenv(FORK_LOG_ENV);
    if (fd < 0) return;
    void *page = mmap(NULL, sizeof *shared_log, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (page == MAP_FAILED) return;
    shared_log = page;
    shared_log->magic = FORK_LOG_MAGIC;
    is_main_process = 1;
}

static int64_t now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

static int64_t stderr_size(void) {
    struct stat st;
    if (fstat(STDERR_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (int64_t)st.st_size;
}

pid_t fork(void) {
    if (!shared_log) return real_fork();
    uint32_t slot = shared_log->main_forks;
    if (is_main_process && slot < FORK_LOG_MAX_MAIN_FORKS) {
        shared_log->main[slot].monotonic_ns = now_ns();
        shared_log->main[slot].stderr_bytes = stderr_size();
    }
    pid_t pid = real_fork();
    if (pid == 0) {
        is_main_process = 0;
    } else if (pid > 0) {
        __atomic_fetch_add(&shared_log->total_forks, 1, __ATOMIC_SEQ_CST);
        if (is_main_process) shared_log->main_forks = slot + 1;
    } else {
        __atomic_fetch_add(&shared_log->failed_forks, 1, __ATOMIC_SEQ_CST);
    }
    return pid;
}
