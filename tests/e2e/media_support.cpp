// Helpers for the audio and GStreamer tests: report and trace slicing, and
// the scratch directories, shim, daemon and plugin sets those tests stand up.
#include "media_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "report_sections.h"

static std::string sections_after_vulkan(const std::string &out,
                                         const std::vector<std::string> &prefixes) {
    return sections_labelled(report_slice(out, {"vulkan.present"}), prefixes);
}

std::string audio_sections(const std::string &out) {
    return sections_after_vulkan(
        out, {"NonPulseAudioAlsa", "MissingLibPulse", "BrokenLibPulse", "MissingLibAsound"});
}

std::string gstreamer_sections(const std::string &out) {
    return sections_after_vulkan(out, {"MissingLibGstreamer1", "BrokenLibGstreamer1", "MissingGStreamer1"});
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

std::string trace_from(const std::string &err, const std::string &first,
                       const std::function<bool(const std::string &)> &keep) {
    std::string slice;
    bool started = false;
    for (const auto &line : lines_of(err)) {
        if (!started) {
            if (line != first) continue;
            started = true;
        } else if (!keep(line)) {
            break;
        }
        slice += line;
    }
    return slice;
}

std::string trace_between(const std::string &err, const std::string &before,
                          const std::string &after) {
    size_t start = err.find(before);
    if (start == std::string::npos) return "<no " + before + ">";
    start += before.size();
    size_t end = err.find(after, start);
    if (end == std::string::npos) return "<no " + after + ">";
    return err.substr(start, end - start);
}

std::string blocked_message(const std::string &soname) {
    return soname + ": cannot open shared object file: blocked by test\n";
}

std::string bits_text(const ProgramUnderTest &p) { return std::to_string(p.bits); }

TempDir::TempDir() {
    char pattern[] = "/tmp/tarvek-media-XXXXXX";
    const char *made = mkdtemp(pattern);
    if (!made) abort();
    path_ = made;
}

TempDir::~TempDir() { std::filesystem::remove_all(path_); }

void TempDir::write(const std::string &name, const std::string &content) const {
    std::ofstream(file(name), std::ios::binary) << content;
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

bool have_strace() { return access("/usr/bin/strace", X_OK) == 0; }

std::string strace_log(const ProgramUnderTest &program, RunOptions options,
                       const std::string &syscalls, RunResult *result) {
    TempDir dir;
    std::string log = dir.file("strace.log");
    ProgramUnderTest strace = program;
    strace.path = "/usr/bin/strace";
    std::vector<std::string> args = {"-f", "-qq", "-e",        "trace=" + syscalls,
                                     "-o", log,   program.path};
    args.insert(args.end(), options.args.begin(), options.args.end());
    options.args = args;
    options.argv0.reset();
    // LeakSanitizer cannot run under ptrace; the leak check is not what a
    // strace run is for.
    if (const char *asan = getenv("ASAN_OPTIONS"))
        options.set_env["ASAN_OPTIONS"] = std::string(asan) + ":detect_leaks=0";
    RunResult r = run_program(strace, options);
    if (result) *result = r;
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PulseShim::PulseShim(int check_status) {
    dir_.write("pulseaudio", "#!/bin/sh\n[ \"$1\" = --check ] && exit " +
                                 std::to_string(check_status) + "\nexit 2\n");
    chmod(dir_.file("pulseaudio").c_str(), 0755);
}

std::string PulseShim::path_variable() const {
    const char *path = getenv("PATH");
    return dir_.path() + ":" + (path ? path : "/usr/bin:/bin");
}

static void sleep_ms(int ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

PulseServer::PulseServer() {
    std::string run = dir_.file("run");
    mkdir(run.c_str(), 0700);
    mkdir(dir_.file("home").c_str(), 0700);
    pid_ = fork();
    if (pid_ == 0) {
        int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        setenv("HOME", dir_.file("home").c_str(), 1);
        for (const auto &[name, value] : client_env())
            setenv(name.c_str(), value.c_str(), 1);
        execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
               "-n", "--load=module-native-protocol-unix", "--disable-shm=yes",
               "--high-priority=no", "--realtime=no", "--use-pid-file=yes", nullptr);
        _exit(127);
    }
    if (pid_ < 0) return;
    // Ready once the pid file and the socket are both there.
    std::string pulse = run + "/pulse";
    for (int waited = 0; waited < 10000; waited += 20) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (file_exists(pulse + "/pid") && file_exists(pulse + "/native")) {
            ready_ = true;
            return;
        }
        sleep_ms(20);
    }
}

PulseServer::~PulseServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < 5000; waited += 20) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        sleep_ms(20);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::map<std::string, std::string> PulseServer::client_env() const {
    return {{"XDG_RUNTIME_DIR", dir_.file("run")},
            {"PULSE_RUNTIME_PATH", dir_.file("run") + "/pulse"}};
}

static std::string system_plugin_dir(int bits) {
    return bits == 32 ? "/usr/lib/i386-linux-gnu/gstreamer-1.0"
                      : "/usr/lib/x86_64-linux-gnu/gstreamer-1.0";
}

PluginSet::PluginSet(const std::vector<std::string> &plugin_files) {
    for (int bits : {32, 64}) {
        std::string dir = dir_.file(std::to_string(bits));
        mkdir(dir.c_str(), 0755);
        for (const auto &file : plugin_files) {
            std::string target = system_plugin_dir(bits) + "/" + file;
            if (symlink(target.c_str(), (dir + "/" + file).c_str()) != 0) abort();
        }
    }
}

std::map<std::string, std::string> PluginSet::env(int bits) const {
    std::string b = std::to_string(bits);
    return {{"GST_PLUGIN_SYSTEM_PATH_1_0", dir_.file(b)},
            {"GST_PLUGIN_PATH_1_0", ""},
            {"GST_PLUGIN_PATH", ""},
            {"GST_REGISTRY_1_0", dir_.file("registry-" + b + ".bin")}};
}

const std::vector<std::string> &pack_plugin_files() {
    static const std::vector<std::string> files = {"libgstvideoparsersbad.so",
                                                   "libgstaudioconvert.so",
                                                   "libgstogg.so",
                                                   "libgstvideoconvertscale.so",
                                                   "libgstvorbis.so",
                                                   "libgstavi.so",
                                                   "libgstflac.so",
                                                   "libgstjpeg.so",
                                                   "libgstmatroska.so",
                                                   "libgstvpx.so",
                                                   "libgstasf.so",
                                                   "libgstmpg123.so",
                                                   "libgstlibav.so"};
    return files;
}

std::vector<std::string> pack_plugin_files_without(const std::vector<std::string> &left_out) {
    std::vector<std::string> files;
    for (const auto &file : pack_plugin_files())
        if (std::find(left_out.begin(), left_out.end(), file) == left_out.end())
            files.push_back(file);
    return files;
}
