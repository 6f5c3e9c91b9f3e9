// The connection is made without blocking and waited for at most a second,
// so a server that hangs in accept() costs the audio check no more than that.
#include "checks/audio/pulse_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static constexpr int connect_limit_ms = 1000;

// Copies length bytes from start, and a terminator, to path when they fit.
static bool copy_path(const char *start, size_t length, char *path, size_t size) {
    if (length + 1 > size) return false;
    memcpy(path, start, length);
    path[length] = '\0';
    return true;
}

// One entry of PULSE_SERVER, [entry, entry + length): its socket path when it
// names a local socket, nothing when it names a server on the network.
static bool local_socket_of(const char *entry, size_t length, char *path, size_t size) {
    const char *end = entry + length;
    if (length > 1 && entry[0] == '{') {
        const char *close = static_cast<const char *>(memchr(entry, '}', length));
        if (!close) return false;
        entry = close + 1;
    }
    if (end - entry > 5 && strncmp(entry, "unix:", 5) == 0) entry += 5;
    if (end - entry < 2 || entry[0] != '/') return false;
    return copy_path(entry, end - entry, path, size);
}

bool pulse_socket_path(const char *pulse_server, const char *runtime_dir, char *path, size_t size) {
    static const char blanks[] = " \t\n";
    if (size) path[0] = '\0';
    if (pulse_server && *pulse_server) {
        for (const char *entry = pulse_server + strspn(pulse_server, blanks); *entry;) {
            size_t length = strcspn(entry, blanks);
            if (local_socket_of(entry, length, path, size)) return true;
            entry += length;
            entry += strspn(entry, blanks);
        }
        return false;
    }
    if (!runtime_dir || runtime_dir[0] != '/') return false;
    int length = snprintf(path, size, "%s/pulse/native", runtime_dir);
    if (length > 0 && static_cast<size_t>(length) < size) return true;
    if (size) path[0] = '\0';
    return false;
}

static long milliseconds_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// A listener whose queue is full answers EAGAIN at once: it is asked again
// until the limit. One still connecting is waited for and asked its result.
static int connect_within_limit(int fd, const sockaddr_un &address) {
    long deadline = milliseconds_now() + connect_limit_ms;
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return 1;
        int error = errno;
        long left = deadline - milliseconds_now();
        if (left <= 0 || (error != EAGAIN && error != EINPROGRESS)) return 0;
        if (error == EAGAIN) {
            poll(nullptr, 0, left < 10 ? static_cast<int>(left) : 10);
            continue;
        }
        pollfd waiting{fd, POLLOUT, 0};
        if (poll(&waiting, 1, static_cast<int>(left)) != 1) return 0;
        socklen_t size = sizeof error;
        return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
}

int pulse_socket_accepts(const char *path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!copy_path(path, strlen(path), address.sun_path, sizeof address.sun_path) || !path[0])
        return 0;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    int accepted = connect_within_limit(fd, address);
    close(fd);
    return accepted;
}

int pulse_server_socket_accepts() {
    char path[sizeof(sockaddr_un::sun_path)];
    if (!pulse_socket_path(getenv("PULSE_SERVER"), getenv("XDG_RUNTIME_DIR"), path, sizeof path))
        return 0;
    return pulse_socket_accepts(path);
}
