// memfd_create is newer than the oldest C library we run on, and older
// kernels lack it: the system call directly, and an unlinked temporary file
// where it fails.
#include "isolate/channels.h"

#include <fcntl.h>
#include <linux/memfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "isolate/report_output.h"
#include "report/report.h"

static const char *const temporary_dirs[] = {"/dev/shm", "/tmp"};

static int unlinked_temporary_file() {
    for (const char *dir : temporary_dirs) {
        char path[64];
        snprintf(path, sizeof path, "%s/tarvek-XXXXXX", dir);
        int fd = mkostemp(path, O_CLOEXEC);
        if (fd >= 0) {
            unlink(path);
            return fd;
        }
    }
    return -1;
}

static int anonymous_file(const char *name) {
    int fd = static_cast<int>(syscall(SYS_memfd_create, name, MFD_CLOEXEC));
    return fd >= 0 ? fd : unlinked_temporary_file();
}

bool open_channels(Channels *channels) {
    channels->report = anonymous_file("tarvek-report");
    channels->err = anonymous_file("tarvek-stderr");
    if (channels->report >= 0 && channels->err >= 0) return true;
    close_channels(channels);
    return false;
}

void close_channel_descriptors(const Channels &channels) {
    if (channels.report >= 0) close(channels.report);
    if (channels.err >= 0) close(channels.err);
}

void close_channels(Channels *channels) {
    close_channel_descriptors(*channels);
    channels->report = channels->err = -1;
}

void enter_channels(const Channels &channels) {
    dup2(channels.err, STDOUT_FILENO);
    dup2(channels.err, STDERR_FILENO);
    write_report_to(channels.report);
}

constexpr size_t chunk_size = 4096;

// Up to a chunk of the bytes in [at, end), read at that offset: the
// descriptor's own position is shared with the child and whoever kept it.
static ssize_t read_chunk(int fd, char *buffer, off_t at, off_t end) {
    off_t left = end - at;
    return pread(fd, buffer, left < off_t{chunk_size} ? static_cast<size_t>(left) : chunk_size, at);
}

// The length up to the end of the last run of `newlines` line breaks: 1 for
// a whole line, 2 for a whole section (each ends with an empty line).
static off_t complete_length(int fd, off_t size, int newlines) {
    char buffer[chunk_size];
    off_t end = 0;
    int run = 0;
    for (off_t at = 0; at < size;) {
        ssize_t n = read_chunk(fd, buffer, at, size);
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

// The size from the end offset: fstat has no version as old as the oldest C
// library we run on. Nobody reads the channel through its position.
static void copy_channel(int fd, int cut_at_newlines, void (*put)(const char *, size_t)) {
    off_t size = fd < 0 ? -1 : lseek(fd, 0, SEEK_END);
    if (size <= 0) return;
    if (cut_at_newlines) size = complete_length(fd, size, cut_at_newlines);
    char buffer[chunk_size];
    for (off_t at = 0; at < size;) {
        ssize_t n = read_chunk(fd, buffer, at, size);
        if (n <= 0) break;
        put(buffer, static_cast<size_t>(n));
        at += n;
    }
}

void copy_channels_out(const Channels &channels, bool child_died) {
    copy_channel(channels.report, child_died ? 2 : 0, put_report);
    copy_channel(channels.err, child_died ? 1 : 0, put_stderr);
}
