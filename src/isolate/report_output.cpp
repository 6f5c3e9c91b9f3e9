// The report writer's stream goes through a write function of ours, which
// stdio cannot offer for a non-blocking descriptor: it would drop a buffer
// on EAGAIN and go on as if it had been written.
#include "isolate/report_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "isolate/descendants.h"
#include "isolate/process_signals.h"
#include "report/report.h"

struct Sink {
    int fd;
    int error;  // of the first write that failed
};

static Sink real_stdout = {-1, 0};
static Sink real_stderr = {STDERR_FILENO, 0};
static Sink report_channel = {-1, 0};
// The C library's own, which a child's libraries expect.
static FILE *library_stderr = nullptr;
// Decided once from the real stdout, for every process: the report is line
// buffered on a terminal, so that a check that crashes leaves every line it
// had finished, as a user watching it expects.
static bool terminal = false;

int write_fully(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = write_until_terminated(fd, data, size);
        if (n < 0 && errno == EINTR) end_run_if_terminated();
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            wait_for_event(-1, fd);
            end_run_if_terminated();
        } else if (n < 0 && errno != EINTR) {
            return errno;
        } else if (n == 0) {
            return EIO;
        }
    }
    return 0;
}

// After a failure the rest is dropped, as a reader that went away would
// drop it; stdio is told it went, so it neither keeps nor retries it.
static ssize_t write_to_sink(void *cookie, const char *data, size_t size) {
    Sink *sink = static_cast<Sink *>(cookie);
    if (!sink->error) sink->error = write_fully(sink->fd, data, size);
    return static_cast<ssize_t>(size);
}

static FILE *stream_to(Sink *sink, int mode) {
    cookie_io_functions_t io = {nullptr, write_to_sink, nullptr, nullptr};
    FILE *stream = fopencookie(sink, "w", io);
    if (stream) setvbuf(stream, nullptr, mode, mode == _IONBF ? 0 : BUFSIZ);
    return stream;
}

static int report_buffering() { return terminal ? _IOLBF : _IOFBF; }

// The trace and the program's messages reach stderr through write_fully as
// well, so that a termination signal ends a write that blocks there too.
static void own_stderr() {
    FILE *stream = stream_to(&real_stderr, _IONBF);
    if (!stream) return;
    library_stderr = stderr;
    stderr = stream;
}

void open_report_output() {
    terminal = isatty(STDOUT_FILENO);
    // With no descriptor to spare, the report keeps descriptor 1: children
    // still write theirs into channels, only the main process keeps it.
    int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    real_stdout.fd = fd >= 0 ? fd : STDOUT_FILENO;
    own_stderr();
    FILE *stream = stream_to(&real_stdout, report_buffering());
    if (!stream) {
        if (fd >= 0) close(fd);
        real_stdout.fd = -1;
        return;
    }
    if (fd >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
    report_stream = stream;
}

void drop_real_stdout() {
    if (real_stdout.fd > STDERR_FILENO) close(real_stdout.fd);
    real_stdout.fd = -1;
    if (library_stderr) stderr = library_stderr;
    library_stderr = nullptr;
}

void write_report_to(int channel_fd) {
    report_channel.fd = channel_fd;
    if (FILE *stream = stream_to(&report_channel, report_buffering())) report_stream = stream;
}

void flush_output() {
    fflush(report_stream);
    fflush(stdout);
    fflush(stderr);
}

int finish_report_output() {
    fflush(report_stream);
    return real_stdout.error;
}
