/* A stand-in with known behaviour for the benchmark's own tests.
 *   forker tree    forks twice from the main process, once more from a child,
 *                  writes known bytes to stderr between forks, and runs a shell
 *                  that forks through system(): 3 forks to count, 2 of main's.
 *   forker memory MAIN CHILD
 *                  touches MAIN MiB itself and CHILD MiB in a child; gets a
 *                  SIGUSR1 it handles; exits 0 only when the handler ran and
 *                  the child was not traced. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

static int wait_child(pid_t pid) {
    int status = -1;
    return pid > 0 && waitpid(pid, &status, 0) == pid ? status : -1;
}

static int tree(void) {
    fputs("a\n", stderr);
    pid_t first = fork();
    if (first == 0) _exit(0);
    fputs("bb\n", stderr);
    pid_t second = fork();
    if (second == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) _exit(0);
        _exit(wait_child(grandchild) == 0 ? 0 : 1);
    }
    int ok = wait_child(first) == 0 && wait_child(second) == 0;
    /* The shell and its subshells fork too, but they are programs of their own. */
    ok = ok && system("(true); (true) | true") == 0;
    return ok ? 0 : 1;
}

static void touch(size_t mib) {
    size_t bytes = mib << 20;
    char *block = malloc(bytes);
    if (!block) _exit(2);
    memset(block, 1, bytes);
    __asm__ volatile("" : : "r"(block) : "memory");
}

static int traced(void) {
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    int tracer = -1;
    while (status && fgets(line, sizeof line, status))
        if (sscanf(line, "TracerPid: %d", &tracer) == 1) break;
    if (status) fclose(status);
    return tracer != 0;
}

static volatile sig_atomic_t got_usr1;
static void on_usr1(int sig) { got_usr1 = sig; }

static int memory(size_t main_mib, size_t child_mib) {
    touch(main_mib);
    signal(SIGUSR1, on_usr1);
    raise(SIGUSR1);
    pid_t child = fork();
    if (child == 0) {
        touch(child_mib);
        _exit(traced() ? 1 : 0);
    }
    return got_usr1 && wait_child(child) == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "tree") == 0) return tree();
    if (argc == 4 && strcmp(argv[1], "memory") == 0)
        return memory(strtoul(argv[2], NULL, 10), strtoul(argv[3], NULL, 10));
    fputs("usage: forker tree | forker memory MAIN_MIB CHILD_MIB\n", stderr);
    return 2;
}
