// The connection is made without blocking and waited for at most a second,
// so a server that hangs in accept() costs the audio check no more than that.
#include "checks/audio/pulse_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

static constexpr int connect_limit_ms = 1000;

// One entry of PULSE_SERVER as a socket path, or empty when it names a
// server on the network.
static std::string local_socket_of(std::string entry) {
    if (entry.size() > 1 && entry[0] == '{') {
        size_t close = entry.find('}');
        if (close == std::string::npos) return "";
        entry.erase(0, close + 1);
    }
    if (entry.rfind("unix:", 0) == 0) entry.erase(0, 5);
    return entry.size() > 1 && entry[0] == '/' ? entry : "";
}

std::string pulse_socket_path(const char *pulse_server, const char *runtime_dir) {
    if (pulse_server && *pulse_server) {
        std::string list = pulse_server;
        size_t start = 0;
        while ((start = list.find_first_not_of(" \t\n", start)) != std::string::npos) {
            size_t end = list.find_first_of(" \t\n", start);
            std::string path = local_socket_of(list.substr(start, end - start));
            if (!path.empty()) return path;
            start = end;
        }
        return "";
    }
    if (!runtime_dir || runtime_dir[0] != '/') return "";
    return std::string(runtime_dir) + "/pulse/native";
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
        if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) return 1;
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

int pulse_socket_accepts(const std::string &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return 0;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    int accepted = connect_within_limit(fd, address);
    close(fd);
    return accepted;
}

int pulse_server_socket_accepts() {
    return pulse_socket_accepts(pulse_socket_path(getenv("PULSE_SERVER"), getenv("XDG_RUNTIME_DIR")));
}
