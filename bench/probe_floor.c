/* The floor the library steps are measured against: the same probes of the
 * same sonames, each in a forked child that loads and unloads the library and
 * exits, with nothing else (no watchdog, no report, no trace). */
#include <dlfcn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

/* Exit code of a child whose library did not load, as the program's. */
#define NOT_LOADED_EXIT_CODE 163

static int probe(const char *soname) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        void *handle = dlopen(soname, RTLD_NOW);
        if (!handle) _exit(NOT_LOADED_EXIT_CODE);
        dlclose(handle);
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return status;
}

/* Arguments: the sonames, one probe each, in order. The exit status is 0
 * when every probe ran (loaded or not), 1 when a fork or a wait failed. */
int main(int argc, char **argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i)
        if (probe(argv[i]) < 0) ++failures;
    if (failures) fprintf(stderr, "probe_floor: %d probes could not be run\n", failures);
    return failures ? 1 : 0;
}
