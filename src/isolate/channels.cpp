// memfd_create is newer than the oldest C library we run on, and older
// kernels lack it: the system call directly, and a pipe where it fails.
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
#include <cstring>

#include "report/report.h"

// Sections are ours alone; only a hostile driver's strings could fill this.
constexpr long long report_channel_bound = 16LL << 20;
// Channels are moved at or above this descriptor where the limit allows.
constexpr int channel_descriptor_floor = 512;

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

// The read end non-blocking, drained into memory as the child writes.
static bool open_pipe(int *fd, int *in, Drained **drained, long long bound) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    *drained = static_cast<Drained *>(calloc(1, sizeof(Drained)));
    if (!*drained) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    (*drained)->bound = bound;
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    *fd = high_descriptor(ends[0]);
    *in = high_descriptor(ends[1]);
    return true;
}

// A sealed memory file, or else a pipe.
static bool open_channel(int *fd, int *in, Drained **drained, const char *name, long long bound) {
    int file = static_cast<int>(syscall(SYS_memfd_create, name, MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (file < 0) return open_pipe(fd, in, drained, bound);
    seal_at(file, bound);
    *fd = *in = high_descriptor(file);
    return true;
}

bool open_check_channels(Channels *channels, bool with_report) {
    void *shared = mmap(nullptr, sizeof(ChannelTally), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    // Anonymous memory comes zeroed: an empty tally.
    if (shared != MAP_FAILED) channels->tally = static_cast<ChannelTally *>(shared);
    if (channels->tally &&
        (!with_report || open_channel(&channels->report, &channels->report_in,
                                      &channels->report_drained, "tarvek-report",
                                      report_channel_bound)) &&
        open_channel(&channels->err, &channels->err_in, &channels->err_drained, "tarvek-stderr",
                     captured_output_bound))
        return true;
    close_channels(channels);
    return false;
}

bool open_program_channels(Channels *channels, long long bound, bool with_errors) {
    if (open_pipe(&channels->report, &channels->report_in, &channels->report_drained, bound) &&
        (!with_errors || open_pipe(&channels->err, &channels->err_in, &channels->err_drained, bound)))
        return true;
    close_channels(channels);
    return false;
}

static void close_pair(int fd, int in) {
    if (fd >= 0) close(fd);
    if (in >= 0 && in != fd) close(in);
}

void close_channel_descriptors(const Channels &channels) {
    close_pair(channels.report, channels.report_in);
    close_pair(channels.err, channels.err_in);
}

static void free_drained(Drained *drained) {
    if (drained) free(drained->data);
    free(drained);
}

void close_channels(Channels *channels) {
    close_channel_descriptors(*channels);
    if (channels->tally) munmap(channels->tally, sizeof(ChannelTally));
    free_drained(channels->report_drained);
    free_drained(channels->err_drained);
    *channels = Channels{};
}

void release_child_ends(Channels *channels) {
    if (channels->report_drained) close(channels->report_in);
    if (channels->err_drained) close(channels->err_in);
    if (channels->report_drained) channels->report_in = -1;
    if (channels->err_drained) channels->err_in = -1;
}

static void drain_pipe(int fd, Drained *drained) {
    char chunk[16384];
    for (ssize_t n; drained && (n = read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        long long keep = drained->bound - drained->kept;
        if (keep > n) keep = n;
        char *grown = keep > 0 ? static_cast<char *>(realloc(drained->data, drained->kept + keep))
                               : nullptr;
        if (grown) {
            memcpy(grown + drained->kept, chunk, static_cast<size_t>(keep));
            drained->data = grown;
            drained->kept += keep;
        }
        drained->total += n;
    }
}

void drain_channels(Channels *channels) {
    drain_pipe(channels->report, channels->report_drained);
    drain_pipe(channels->err, channels->err_drained);
}

int channel_read_ends(const Channels &channels, int *fds) {
    int count = 0;
    if (channels.report_drained) fds[count++] = channels.report;
    if (channels.err_drained) fds[count++] = channels.err;
    return count;
}

// The channels are files: a write past the file-size limit must fail, as
// one to a pipe would not, and never end the check.
void enter_channels(const Channels &channels) {
    signal(SIGXFSZ, SIG_IGN);
    if (channels.err_drained) close(channels.err);
    if (channels.report_drained) close(channels.report);
    dup2(channels.err_in, STDOUT_FILENO);
    dup2(channels.err_in, STDERR_FILENO);
    close(channels.err_in);
    write_report_to(channels.report_in, channels.tally);
}

// A sealed file's size is its bound: what was written ends at the position.
off_t written_length(int fd, const Drained *drained) {
    if (drained) return static_cast<off_t>(drained->total);
    return fd < 0 ? -1 : lseek(fd, 0, SEEK_CUR);
}

ChannelFate channel_fate(const Channels &channels, int *error) {
    const ChannelTally *tally = channels.tally;
    if (channels.report < 0 || !tally) return CHANNELS_OWN;
    if (tally->error == EBADF || tally->taken) return CHANNELS_TAKEN;
    *error = tally->error;
    if (tally->error) return CHANNELS_UNWRITABLE;
    return written_length(channels.report, channels.report_drained) == tally->written
               ? CHANNELS_OWN
               : CHANNELS_TAKEN;
}
