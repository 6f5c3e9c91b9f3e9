// Copying a check's channels out, in the main process after the check, and
// a program's output as it was kept.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "isolate/channels.h"
#include "report/report.h"

constexpr size_t chunk_size = 4096;

// Up to a chunk of the bytes in [at, end), read at that offset: the
// descriptor's own position is shared with the child and whoever kept it.
static ssize_t read_chunk(int fd, const Drained *drained, char *buffer, off_t at, off_t end) {
    off_t left = end - at;
    size_t size = left < off_t{chunk_size} ? static_cast<size_t>(left) : chunk_size;
    if (!drained) return pread(fd, buffer, size, at);
    if (at >= drained->kept) return 0;
    if (static_cast<long long>(size) > drained->kept - at)
        size = static_cast<size_t>(drained->kept - at);
    memcpy(buffer, drained->data + at, size);
    return static_cast<ssize_t>(size);
}

// The length up to the end of the last run of `newlines` line breaks: 1 for
// a whole line, 2 for a whole section (each ends with an empty line).
static off_t complete_length(int fd, const Drained *drained, off_t size, int newlines) {
    char buffer[chunk_size];
    off_t end = 0;
    int run = 0;
    for (off_t at = 0; at < size;) {
        ssize_t n = read_chunk(fd, drained, buffer, at, size);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            run = buffer[i] == '\n' ? run + 1 : 0;
            if (run >= newlines) end = at + i + 1;
        }
        at += n;
    }
    return end;
}

static void put_report(const char *data, size_t size) { fwrite(data, 1, size, report_stream); }
static void put_stderr(const char *data, size_t size) { write_fully(STDERR_FILENO, data, size); }

static void copy_range(int fd, const Drained *drained, off_t size,
                       void (*put)(const char *, size_t)) {
    char buffer[chunk_size];
    for (off_t at = 0; at < size;) {
        ssize_t n = read_chunk(fd, drained, buffer, at, size);
        if (n <= 0) break;
        put(buffer, static_cast<size_t>(n));
        at += n;
    }
}

// Only what the check counted as written: a child killed inside a write
// leaves a part beyond it, a library's bytes may follow it. One whose writes
// went to another file has nothing here to copy.
static void copy_report(const Channels &channels, bool whole_sections_only) {
    const Drained *drained = channels.report_drained;
    off_t size = written_length(channels.report, drained);
    if (channels.tally && size > channels.tally->written) size = channels.tally->written;
    if (size <= 0 || (channels.tally && size < channels.tally->written)) return;
    copy_range(channels.report, drained,
               whole_sections_only ? complete_length(channels.report, drained, size, 2) : size,
               put_report);
}

static void copy_stderr(int fd, const Drained *drained) {
    off_t size = written_length(fd, drained);
    if (size <= 0) return;
    off_t kept = complete_length(fd, drained,
                                 size < captured_output_bound ? size : captured_output_bound, 1);
    copy_range(fd, drained, kept, put_stderr);
    if (kept == size) return;
    char line[128];
    int n = snprintf(line, sizeof line, "[%lld bytes of output dropped%s]\n",
                     static_cast<long long>(size - kept),
                     size >= captured_output_bound ? ", and all that came after" : "");
    put_stderr(line, static_cast<size_t>(n));
}

void copy_channels_out(const Channels &channels, bool whole_sections_only) {
    copy_report(channels, whole_sections_only);
    copy_stderr(channels.err, channels.err_drained);
}

bool take_drained(const Drained *drained, std::string *text) {
    if (!drained) return false;
    if (drained->kept > 0) text->assign(drained->data, static_cast<size_t>(drained->kept));
    return drained->total > drained->kept;
}
