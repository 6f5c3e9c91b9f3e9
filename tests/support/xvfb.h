// A real X server for one test: Xvfb on a display number it picks itself
// (-displayfd), so parallel tests never collide. Stopped when it goes away.
#pragma once

#include <sys/types.h>

#include <string>

struct XvfbOptions {
    int depth = 24;
    bool indirect_glx = false; // +iglx: lets clients render through the server
};

class XvfbServer {
  public:
    explicit XvfbServer(XvfbOptions options = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool running() const { return pid_ > 0 && !display_.empty(); }
    const std::string &display() const { return display_; } // ":N"
    // Loads resource lines into the server's database with the real xrdb.
    bool merge_resources(const std::string &lines) const;

  private:
    pid_t pid_ = -1;
    std::string display_;
};
