// Start-up changes only what the runner depends on; the rest of the state a
// launcher hands down (other signals, their mask) is left as it came.
#include "driver/startup.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "driver/command_line.h"
#include "isolate/descendants.h"
#include "report/output.h"

// Enough for libGL and its driver; more would slow the libraries that close
// every descriptor up to the limit before they exec.
constexpr rlim_t wanted_descriptors = 1024;

// A closed descriptor 1 would be handed to the next file or socket opened
// (the X connection, say), and report bytes would go into it. A launcher
// that closed stdout has discarded the report: /dev/null takes it.
static void fill_closed_descriptor(int fd) {
    if (fcntl(fd, F_GETFD) != -1) return;
    int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    // open gives the lowest free descriptor, which is fd itself when the
    // lower ones are in place; anything else is moved into place.
    if (opened >= 0 && opened != fd) {
        dup2(opened, fd);
        close(opened);
    }
}

// Raised, never lowered, and never above the hard limit.
static void raise_descriptor_limit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted_descriptors) return;
    limit.rlim_cur = limit.rlim_max < wanted_descriptors ? limit.rlim_max : wanted_descriptors;
    setrlimit(RLIMIT_NOFILE, &limit);
}

void start_process() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) fill_closed_descriptor(fd);
    raise_descriptor_limit();
    split_off_run();
    open_report_output();
}

int finish_process(int status) {
    end_descendants();
    int error = finish_report_output();
    end_run_if_terminated();
    if (!error) return status;
    fprintf(stderr, "%s:error: cannot write the report: %s\n", program_name, strerror(error));
    return 1;
}
