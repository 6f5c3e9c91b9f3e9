// What the audio and GStreamer tests share: slices of a report and of a
// trace, scratch directories, a PATH shim, a private PulseAudio daemon and
// a restricted GStreamer plugin set.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "run_program.h"

// Report bytes written by the audio step and by the GStreamer step, picked
// from the sections after the vulkan property.
std::string audio_sections(const std::string &out);
std::string gstreamer_sections(const std::string &out);

// The lines of a text, each with its newline.
std::vector<std::string> lines_of(const std::string &text);
// The trace lines from the first line equal to `first` on, as long as each
// line satisfies `keep`; `first` itself is included. Empty if `first` is absent.
std::string trace_from(const std::string &err, const std::string &first,
                       const std::function<bool(const std::string &)> &keep);
// The trace between the end of `before` and the start of `after`.
std::string trace_between(const std::string &err, const std::string &before,
                          const std::string &after);

std::string blocked_message(const std::string &soname);
std::string bits_text(const ProgramUnderTest &p); // "32" or "64"

bool have_strace();
// Runs the program under `strace -f -e trace=<syscalls>`; gives strace's log.
std::string strace_log(const ProgramUnderTest &program, RunOptions options,
                       const std::string &syscalls, RunResult *result = nullptr);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    void write(const std::string &name, const std::string &content) const;

  private:
    std::string path_;
};

bool file_exists(const std::string &path);

// A directory holding a `pulseaudio` script whose --check exits with the
// given status, for the cases where a real daemon is not wanted.
class PulseShim {
  public:
    explicit PulseShim(int check_status);
    // PATH with the shim first.
    std::string path_variable() const;

  private:
    TempDir dir_;
};

// A real PulseAudio daemon of our own, in a private runtime directory so it
// meets no other test's; stopped by its pid when the object goes.
class PulseServer {
  public:
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;
    bool ready() const { return ready_; }
    // What a client needs to find this server (and `pulseaudio --check` it).
    std::map<std::string, std::string> client_env() const;

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// A GStreamer plugin directory per word size holding links to chosen plugin
// files of the system, and a private registry file for each: GStreamer then
// sees exactly those plugins.
class PluginSet {
  public:
    explicit PluginSet(const std::vector<std::string> &plugin_files);
    std::map<std::string, std::string> env(int bits) const;

  private:
    TempDir dir_;
};

// The plugin files that provide the elements of all six packs.
const std::vector<std::string> &pack_plugin_files();
std::vector<std::string> pack_plugin_files_without(const std::vector<std::string> &left_out);
