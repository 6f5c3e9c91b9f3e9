// The report writer's stream goes through a write function of ours, which
// stdio cannot offer for a non-blocking descriptor: it would drop a buffer
// on EAGAIN and go on as if it had been written.
#include "report/output.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "report/report.h"

struct Sink {
    int fd;
    int error;           // of the first write that failed
    ChannelTally *tally; // a check child's report channel only
};

static void poll_writable(int fd) {
    pollfd target = {fd, POLLOUT, 0};
    poll(&target, 1, -1);
}

// All the report's way out keeps between calls.
struct ReportOutput {
    Sink real_stdout = {-1, 0, nullptr};
    Sink real_stderr = {STDERR_FILENO, 0, nullptr};
    Sink report_channel = {-1, 0, nullptr};
    FILE *library_stderr = nullptr; // the C library's own, which a child's libraries expect
    // Decided once from the real stdout, for every process: the report is
    // line buffered on a terminal, so that a check that crashes leaves every
    // line it had finished, as a user watching it expects.
    bool terminal = false;
    OutputWaits waits = {write, poll_writable};
    FILE *kept = nullptr, *before_kept = nullptr; // a report kept in memory
    bool kept_bypassed = false;
    char *kept_text = nullptr;
    size_t kept_size = 0;
};
static ReportOutput output;

void set_output_waits(const OutputWaits &waits) { output.waits = waits; }

int write_fully(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t n = output.waits.write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            output.waits.wait_writable(fd);
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
    if (sink->error || sink->fd < 0) return static_cast<ssize_t>(size);
    sink->error = write_fully(sink->fd, data, size);
    if (ChannelTally *tally = sink->tally) {
        // A sealed channel refuses growth with EPERM: to the user, too large.
        if (sink->error)
            tally->error = sink->error == EPERM ? EFBIG : sink->error;
        else
            tally->written += static_cast<long long>(size);
    }
    return static_cast<ssize_t>(size);
}

static FILE *stream_to(Sink *sink, int mode) {
    cookie_io_functions_t io = {nullptr, write_to_sink, nullptr, nullptr};
    FILE *stream = fopencookie(sink, "w", io);
    if (stream) setvbuf(stream, nullptr, mode, BUFSIZ);
    return stream;
}

void open_report_output() {
    output.terminal = isatty(STDOUT_FILENO);
    // With no descriptor to spare, the report keeps descriptor 1: children
    // still write theirs into channels, only the main process keeps it.
    int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    output.real_stdout.fd = fd >= 0 ? fd : STDOUT_FILENO;
    // The trace and the program's messages go through write_fully as well,
    // so that a termination signal ends a write that blocks there too.
    if (FILE *stream = stream_to(&output.real_stderr, _IONBF)) {
        output.library_stderr = stderr;
        stderr = stream;
    }
    FILE *stream = stream_to(&output.real_stdout, output.terminal ? _IOLBF : _IOFBF);
    if (!stream) {
        if (fd >= 0) close(fd);
        output.real_stdout.fd = -1;
        return;
    }
    if (fd >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
    report_stream = stream;
}

void drop_real_stdout(bool keep_report) {
    if (!keep_report) {
        if (output.real_stdout.fd > STDERR_FILENO) close(output.real_stdout.fd);
        output.real_stdout.fd = -1;
    } else if (report_stream != output.kept) {
        // Not a report kept in memory: glibc's memory stream cannot be made
        // unbuffered (its next write crashes), and what a child writes
        // into its copy is lost in any case.
        setvbuf(report_stream, nullptr, _IONBF, 0);
    }
    if (output.library_stderr) stderr = output.library_stderr;
    output.library_stderr = nullptr;
}

// The child of a fork keeps no report channel: a library's child must not
// reach the report, and the runner's nested children write none.
static void forget_report_channel() {
    if (output.report_channel.fd >= 0) close(output.report_channel.fd);
    output.report_channel.fd = -1;
    output.report_channel.tally = nullptr;
}

void write_report_to(int channel_fd, ChannelTally *tally) {
    output.report_channel = Sink{channel_fd, 0, tally};
    if (channel_fd < 0) return;
    // Without a stream of its own the child has no way to its channel.
    if (FILE *stream = stream_to(&output.report_channel, _IONBF))
        report_stream = stream;
    else
        tally->error = ENOMEM;
    pthread_atfork(nullptr, nullptr, forget_report_channel);
}

void check_report_channel() {
    const Sink &channel = output.report_channel;
    ChannelTally *tally = channel.tally;
    if (tally && ferror(stderr)) tally->trace_lost = 1;
    if (!tally || tally->error || channel.fd < 0) return;
    off_t at = lseek(channel.fd, 0, SEEK_CUR);
    // A pipe has no position: the main process counts what came through.
    if (at < 0 && errno != ESPIPE)
        tally->error = errno;
    else if (at >= 0 && at != tally->written)
        tally->taken = 1;
}

void fail_report_output(int error) {
    if (!output.real_stdout.error) output.real_stdout.error = error;
}

void flush_output() {
    fflush(report_stream);
    fflush(stdout);
    fflush(stderr);
}

int finish_report_output() {
    fflush(report_stream);
    return output.real_stdout.error;
}

bool keep_report_in_memory() {
    output.kept = open_memstream(&output.kept_text, &output.kept_size);
    if (!output.kept) return false;
    output.before_kept = report_stream;
    report_stream = output.kept;
    return true;
}

void note_report_bypassed() {
    if (output.kept) output.kept_bypassed = true;
}

bool take_kept_report(std::string *report) {
    if (!output.kept) return false;
    bool whole = fflush(output.kept) == 0 && !ferror(output.kept) && !output.kept_bypassed;
    if (output.kept_text) report->assign(output.kept_text, output.kept_size);
    fclose(output.kept);
    free(output.kept_text);
    output.kept = nullptr;
    output.kept_text = nullptr;
    report_stream = output.before_kept;
    return whole;
}
