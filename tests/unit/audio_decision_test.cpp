// The audio check's decisions: the PulseAudio socket, and ALSA's default routed or not.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "checks/audio/alsa_route.h"
#include "checks/audio/pulse_socket.h"

TEST(PulseSocket, PathFromTheEnvironment) {
    const char *const rows[][3] = {
        {nullptr, "/run/user/1000", "/run/user/1000/pulse/native"},
        {"", "/run/user/1000", "/run/user/1000/pulse/native"},
        {nullptr, "run/user/1000", ""},
        {"unix:/tmp/p/native", "/run/user/1000", "/tmp/p/native"},
        {"tcp:host:4713", "/run/user/1000", ""},
        {"host tcp6:h /tmp/t unix:/tmp/s", nullptr, "/tmp/t"},
        {"{4a5b}unix:/tmp/s", nullptr, "/tmp/s"},
    };
    for (const auto &row : rows) {
        char path[108] = "left";
        EXPECT_EQ(pulse_socket_path(row[0], row[1], path, sizeof path), *row[2] != 0);
        EXPECT_STREQ(path, row[2]);
    }
}

TEST(PulseSocket, AcceptedOnlyWhereSomeoneListens) {
    char folder[] = "/tmp/tarvek-socket-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string dir = folder, listening = dir + "/l", bound = dir + "/b";
    for (const auto &path : {listening, bound}) {
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, path.size());
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        path == listening ? listen(fd, 1) : close(fd);
    }
    const std::pair<std::string, int> rows[] = {
        {listening, 1}, {bound, 0}, {dir + "/none", 0}, {dir + std::string(200, 'x'), 0}};
    for (const auto &[path, accepted] : rows)
        EXPECT_EQ(pulse_socket_accepts(path.c_str()), accepted) << path;
    unlink(listening.c_str()), unlink(bound.c_str()), rmdir(folder);
}

TEST(AlsaRoute, RoutedByTypeAndModule) {
    const std::tuple<const char *, bool, bool> rows[] = {
        {"pulse", true, true},      {"pipewire", true, true}, {"pulse", false, false},
        {"pipewire", false, false}, {"hw", true, false},      {"Pulse", true, false},
        {"pipewire2", true, false}, {"", true, false}};
    for (const auto &[type, module_present, routed] : rows)
        EXPECT_EQ(default_pcm_routed(type, module_present), routed) << type;
    char module[80];
    EXPECT_TRUE(
        pcm_plugin_module_path("/usr/lib/i386-linux-gnu/libasound.so.2", "pipewire", module, 80));
    EXPECT_STREQ(module, "/usr/lib/i386-linux-gnu/alsa-lib/libasound_module_pcm_pipewire.so");
}
