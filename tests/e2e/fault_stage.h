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
#include <vector>

#include "fixture_dir.h"
#include "media_support.h"
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
