// The audio check's decisions: the socket the PulseAudio client library would
// reach, whether a real socket takes a connection, whether ALSA's default is routed.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "checks/audio/alsa_route.h"
#include "checks/audio/pulse_socket.h"

namespace {

TEST(PulseSocket, PathFromTheEnvironment) {
    struct Row { const char *pulse_server, *runtime_dir, *path; };
    const Row rows[] = {
        {nullptr, "/run/user/1000", "/run/user/1000/pulse/native"},
        {"", "/run/user/1000", "/run/user/1000/pulse/native"},
        {nullptr, nullptr, ""}, {nullptr, "run/user/1000", ""},
        {"unix:/tmp/p/native", "/run/user/1000", "/tmp/p/native"},
        {"/tmp/p/native", nullptr, "/tmp/p/native"}, {"tcp:host:4713", "/run/user/1000", ""},
        {"host tcp6:h unix:/tmp/s /tmp/t", nullptr, "/tmp/s"}, {"{4a5b}unix:/tmp/s", nullptr, "/tmp/s"},
        {"unix:relative", "/run/user/1000", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(pulse_socket_path(row.pulse_server, row.runtime_dir), row.path) << row.path;
}

TEST(PulseSocket, AcceptedOnlyWhereSomeoneListens) {
    char folder[] = "/tmp/tarvek-socket-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string listening = folder + std::string("/l"), bound = folder + std::string("/b");
    for (const auto &path : {listening, bound}) {
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, path.size());
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        path == listening ? listen(fd, 1) : close(fd);
    }
    const std::pair<std::string, int> rows[] = {
        {listening, 1}, {bound, 0}, {folder + std::string("/none"), 0}, {"/" + std::string(200, 'x'), 0}};
    for (const auto &[path, accepted] : rows) EXPECT_EQ(pulse_socket_accepts(path), accepted) << path;
    unlink(listening.c_str()), unlink(bound.c_str()), rmdir(folder);
}

TEST(AlsaRoute, RoutedByTypeAndModule) {
    struct Row { const char *type; bool module_present, routed; };
    const Row rows[] = {{"pulse", true, true},    {"pipewire", true, true}, {"pulse", false, false},
                        {"pipewire", false, false}, {"hw", true, false},     {"Pulse", true, false},
                        {"pipewire2", true, false}, {"", true, false}};
    for (const auto &row : rows)
        EXPECT_EQ(default_pcm_routed(row.type, row.module_present), row.routed) << row.type;
    EXPECT_EQ(pcm_plugin_module_path("/usr/lib/i386-linux-gnu/libasound.so.2", "pipewire"),
              "/usr/lib/i386-linux-gnu/alsa-lib/libasound_module_pcm_pipewire.so");
    EXPECT_EQ(pcm_plugin_module_path("libasound.so.2", "pulse"), "");
}

} // namespace
