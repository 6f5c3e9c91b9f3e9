#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <vector>

// Xvfb writes the display number to this descriptor once it accepts clients.
static std::string read_display_number(int fd) {
    std::string number;
    for (;;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) return "";
        char c;
        if (read(fd, &c, 1) != 1) return "";
        if (c == '\n') return number;
        number += c;
    }
}

XvfbServer::XvfbServer(XvfbOptions options) {
    int ready[2];
    if (pipe(ready) != 0) return;
    std::string screen = "640x480x" + std::to_string(options.depth);
    std::string fd_text = std::to_string(ready[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd_text, "-screen", "0",
                                     screen, "-nolisten",  "tcp",   "-noreset"};
    if (options.indirect_glx) args.push_back("+iglx");
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid_ > 0) {
        std::string number = read_display_number(ready[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    close(ready[0]);
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        usleep(10000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool XvfbServer::merge_resources(const std::string &lines) const {
    std::string command = "xrdb -nocpp -display " + display_ + " -merge";
    FILE *xrdb = popen(command.c_str(), "w");
    if (!xrdb) return false;
    fwrite(lines.data(), 1, lines.size(), xrdb);
    return pclose(xrdb) == 0;
}
