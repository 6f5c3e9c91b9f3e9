// The stage of a fault row: a program run once without and once with one
// fault of the world around it, and what it left behind.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fixture_dir.h"
#include "media_support.h"
#include "paths.h"
#include "probe_support.h"
#include "run_program.h"
#include "xvfb.h"

enum class Display { none, mesa, fake_gl };

// Alive and not a zombie.
inline bool running(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t name_end = line.rfind(") ");
    return name_end != std::string::npos && line[name_end + 2] != 'Z';
}

// Processes whose environment holds MARKER as a whole entry (a zombie has none).
inline std::set<int> processes_with_environment(const std::string &marker) {
    std::set<int> pids;
    DIR *proc = opendir("/proc");
    while (const dirent *entry = proc ? readdir(proc) : nullptr) {
        std::ifstream file(std::string("/proc/") + entry->d_name + "/environ");
        std::string environment = '\0' + std::string(std::istreambuf_iterator<char>(file), {});
        if (atoi(entry->d_name) > 0 && environment.find('\0' + marker + '\0') != std::string::npos)
            pids.insert(atoi(entry->d_name));
    }
    if (proc) closedir(proc);
    return pids;
}

// Everything a row's two runs share: an empty working directory, a private
// HOME, the pack plugins, a PulseAudio that is not running, a file in which
// fixtures note the pids of the processes they start, and a marker in the
// environment that every process of the run inherits.
struct Stage {
    Stage(const ProgramUnderTest &program, Display display) : p(program) {
        mkdir(dir.file("cwd").c_str(), 0755);
        mkdir(dir.file("home").c_str(), 0755);
        options.args = {"--debug"};
        options.set_env = plugins.env(p.bits);
        options.set_env["PATH"] = pulse.path_variable();
        options.set_env["HOME"] = dir.file("home");
        options.set_env["TARVEK_TEST_PIDS"] = dir.file("pids");
        options.set_env["TARVEK_ROW"] = dir.path();
        options.working_dir = dir.file("cwd");
        options.library_path = libs.library_path();
        options.unset_env = {"DISPLAY"};
        options.timeout_seconds = 40;
        if (display == Display::none) return;
        server = std::make_unique<XvfbServer>();
        options.set_env["DISPLAY"] = server->display();
        if (display == Display::fake_gl) libs.install("libGL.so.1", "fake_gl");
    }
    RunResult run() const {
        return wrapper.empty() ? run_program(p, options) : run_wrapped(p, wrapper, wrapper_args, options);
    }
    // Processes of the run that still run (those noted by the fixtures, and
    // any that carries the row's marker), and files in the working
    // directory; the processes are ended here either way.
    std::vector<std::string> left_behind() const {
        std::set<int> pids = processes_with_environment("TARVEK_ROW=" + dir.path());
        std::ifstream noted(dir.file("pids"));
        for (int pid; noted >> pid;)
            if (running(pid)) pids.insert(pid);
        std::vector<std::string> left;
        for (int pid : pids) {
            left.push_back("process " + std::to_string(pid));
            kill(pid, SIGKILL);
        }
        DIR *cwd = opendir(dir.file("cwd").c_str());
        while (const dirent *entry = cwd ? readdir(cwd) : nullptr)
            if (entry->d_name[0] != '.') left.push_back(std::string("file ") + entry->d_name);
        if (cwd) closedir(cwd);
        return left;
    }

    const ProgramUnderTest &p;
    TempDir dir;
    FixtureDir libs;
    PluginSet plugins{pack_plugin_files()};
    PulseShim pulse{1};
    std::unique_ptr<XvfbServer> server;
    RunOptions options;
    std::string wrapper;
    std::vector<std::string> wrapper_args;
};

inline std::string launch_as_path() { return std::string(fixture_root) + "/helpers/launch_as"; }

inline void launched_as(Stage &s, const std::string &mode) {
    s.wrapper = launch_as_path();
    s.wrapper_args = {mode};
}

// What the fake libGL answers, and a list long enough to span buffers.
constexpr const char *short_extensions =
    "GL_ARB_shading_language_100 GL_EXT_texture_compression_s3tc GL_ARB_texture_float";

inline std::string long_extensions() {
    std::string extensions = short_extensions;
    for (int i = 0; extensions.size() < 12 * 1024; ++i)
        extensions += " GL_FAKE_long_extension_name_" + std::to_string(i);
    return extensions;
}

// The graphics part of a report whose OpenGL check broke after its legacy
// queries: the sections written before, then the verdict.
inline std::string opengl_cut(const ProgramUnderTest &p, const std::string &extensions) {
    return property_section("display.depth", "24") + property_section("display.dpi", "-1.0") +
           property_section("opengl.vendor", "Fake GL Vendor") +
           property_section("opengl.version", "2.1 Fake GL") +
           property_section("opengl.renderer", "Fake GL Renderer") +
           property_section("opengl.glsl_version", "1.30") +
           property_section("opengl.extensions", extensions) + issue_section(p, "OpenglNotWorking");
}

// A row: the fault, the expected report (an enum of the table's own), exit
// status, time until the report's end of file, and a text stderr holds.
template <typename Report> struct FaultRow {
    const char *name;
    Display display;
    void (*fault)(Stage &);
    Report report;
    int exit_code;
    double max_seconds;
    const char *stderr_holds;
};

// Runs the row's two runs and asserts what every row states of the second
// but its report: status, time, stderr, nothing left behind.
template <typename Row> std::tuple<RunResult, RunResult> run_fault_row(Stage &s, const Row &row) {
    EXPECT_TRUE(!s.server || s.server->running());
    RunResult reference = s.run();
    EXPECT_EQ(reference.exit_code(), 0) << reference.err.substr(0, 4096);
    row.fault(s);
    RunResult r = s.run();
    EXPECT_EQ(r.exit_code(), row.exit_code) << "status " << r.status << "\n"
                                            << r.err.substr(0, 4096);
    EXPECT_LT(r.seconds, row.max_seconds);
    EXPECT_NE(r.err.find(row.stderr_holds), std::string::npos) << r.err.substr(0, 4096);
    EXPECT_EQ(s.left_behind(), std::vector<std::string>{});
    return {reference, r};
}

