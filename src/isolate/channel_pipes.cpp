#include "isolate/channel_pipes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

bool open_pipe_channel(int *read_end, int *write_end, Drained **drained, long long bound) {
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
    *read_end = ends[0];
    *write_end = ends[1];
    return true;
}

void drain_pipe(int read_end, Drained *drained) {
    if (read_end < 0 || !drained) return;
    char chunk[16384];
    for (;;) {
        ssize_t n = read(read_end, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        long long keep = drained->bound - drained->kept;
        if (keep > n) keep = n;
        if (keep > 0) {
            char *grown = static_cast<char *>(realloc(drained->data, drained->kept + keep));
            if (!grown)
                keep = 0;
            else {
                memcpy(grown + drained->kept, chunk, static_cast<size_t>(keep));
                drained->data = grown;
                drained->kept += keep;
            }
        }
        drained->total += n;
    }
}

void free_drained(Drained *drained) {
    if (!drained) return;
    free(drained->data);
    free(drained);
}

ssize_t read_drained(const Drained *drained, char *buffer, size_t size, off_t at) {
    if (at >= drained->kept) return 0;
    long long left = drained->kept - at;
    size_t n = left < static_cast<long long>(size) ? static_cast<size_t>(left) : size;
    memcpy(buffer, drained->data + at, n);
    return static_cast<ssize_t>(n);
}
