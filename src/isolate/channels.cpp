// memfd_create is newer than the oldest C library we run on, and older
// kernels lack it: the system call directly, and an unlinked temporary file
// where it fails (unsealed then: only the copy is bounded).
#include "isolate/channels.h"

#include <fcntl.h>
#include <linux/memfd.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "report/report.h"

// Sections are ours alone; only a hostile driver's strings could fill this.
constexpr long long report_channel_bound = 16LL << 20;
// Channels are moved at or above this descriptor where the limit allows.
constexpr int channel_descriptor_floor = 512;

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

// Sized and sealed: writes past the size fail, and it never grows. Under a
// lower file-size limit the limit bounds it instead.
static void seal_at(int fd, long long bound) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<long long>(limit.rlim_cur) < bound)
        return;
    if (ftruncate(fd, static_cast<off_t>(bound)) == 0)
        fcntl(fd, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL);
}

static int high_descriptor(int fd) {
    int moved = fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, channel_descriptor_floor);
    if (moved < 0) return fd;
    close(fd);
    return moved;
}

static int anonymous_file(const char *name, long long bound) {
    int fd = static_cast<int>(syscall(SYS_memfd_create, name, MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (fd >= 0) seal_at(fd, bound);
    return high_descriptor(fd >= 0 ? fd : unlinked_temporary_file());
}

bool open_channels(Channels *channels, bool with_report) {
    void *shared = mmap(nullptr, sizeof(ChannelTally), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    // Anonymous memory comes zeroed: an empty tally.
    if (shared != MAP_FAILED) channels->tally = static_cast<ChannelTally *>(shared);
    if (with_report) channels->report = anonymous_file("tarvek-report", report_channel_bound);
    channels->err = anonymous_file("tarvek-stderr", captured_output_bound);
    if (channels->tally && channels->err >= 0 && (!with_report || channels->report >= 0))
        return true;
    close_channels(channels);
    return false;
}

void close_channel_descriptors(const Channels &channels) {
    if (channels.report >= 0) close(channels.report);
    if (channels.err >= 0) close(channels.err);
}

void close_channels(Channels *channels) {
    close_channel_descriptors(*channels);
    if (channels->tally) munmap(channels->tally, sizeof(ChannelTally));
    channels->report = channels->err = -1;
    channels->tally = nullptr;
}

// The channels are files: a write past the file-size limit must fail, as
// one to a pipe would not, and never end the check.
void enter_channels(const Channels &channels) {
    signal(SIGXFSZ, SIG_IGN);
    dup2(channels.err, STDOUT_FILENO);
    dup2(channels.err, STDERR_FILENO);
    close(channels.err);
    write_report_to(channels.report, channels.tally);
}

ChannelFate channel_fate(const Channels &channels, int *error) {
    const ChannelTally *tally = channels.tally;
    if (channels.report < 0 || !tally) return CHANNELS_OWN;
    if (tally->error == EBADF || tally->taken) return CHANNELS_TAKEN;
    *error = tally->error;
    if (tally->error) return CHANNELS_UNWRITABLE;
    return lseek(channels.report, 0, SEEK_CUR) == tally->written ? CHANNELS_OWN : CHANNELS_TAKEN;
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

static void copy_range(int fd, off_t size, void (*put)(const char *, size_t)) {
    char buffer[chunk_size];
    for (off_t at = 0; at < size;) {
        ssize_t n = read_chunk(fd, buffer, at, size);
        if (n <= 0) break;
        put(buffer, static_cast<size_t>(n));
        at += n;
    }
}

// What was written ends at the shared position (a sealed file's size is its
// bound): the main process reads with pread and never moves it.
static off_t written_length(int fd) { return fd < 0 ? -1 : lseek(fd, 0, SEEK_CUR); }

// Only what the check counted as written: a child killed inside a write
// leaves a part beyond it, a library's bytes may follow it. One whose writes
// went to another file has nothing here to copy.
static void copy_report(const Channels &channels, bool whole_sections_only) {
    off_t size = written_length(channels.report);
    if (channels.tally && size > channels.tally->written) size = channels.tally->written;
    if (size <= 0 || (channels.tally && size < channels.tally->written)) return;
    copy_range(channels.report,
               whole_sections_only ? complete_length(channels.report, size, 2) : size, put_report);
}

static void copy_stderr(int fd) {
    off_t size = written_length(fd);
    if (size <= 0) return;
    off_t kept =
        complete_length(fd, size < captured_output_bound ? size : captured_output_bound, 1);
    copy_range(fd, kept, put_stderr);
    if (kept == size) return;
    char line[128];
    int n = snprintf(line, sizeof line, "[%lld bytes of output dropped%s]\n",
                     static_cast<long long>(size - kept),
                     size >= captured_output_bound ? ", and all that came after" : "");
    put_stderr(line, static_cast<size_t>(n));
}

void copy_channels_out(const Channels &channels, bool whole_sections_only) {
    copy_report(channels, whole_sections_only);
    copy_stderr(channels.err);
}
