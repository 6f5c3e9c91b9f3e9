// What the library, kernel and thread tests share: the library table, trace
// lines, a stand-in for egrep, and running a program under a wrapper
// (prlimit, unshare, the seccomp helper).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "paths.h"
#include "program_tables.h"
#include "report_sections.h"
#include "run_program.h"

inline std::string found_trace(const ProgramUnderTest &p, const std::string &soname) {
    return "found " + std::to_string(p.bits) + "-bit " + soname + "\n";
}

inline std::string blocked_trace(const std::string &soname) {
    return soname + ": cannot open shared object file: blocked by test\n";
}

constexpr const char *mdns_command = "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1";

// An egrep first on PATH that runs the program's own pattern with the real
// grep on a name-service switch file of the test's choosing, so the machine's
// /etc/nsswitch.conf is neither read nor touched. Any other command line
// exits 99, which shows in the trace as "returned 25344".
class NsswitchShim {
  public:
    NsswitchShim() {
        char pattern[] = "/tmp/tarvek-shim-XXXXXX";
        root_ = mkdtemp(pattern);
        std::ofstream(root_ + "/egrep") << "#!/bin/sh\n"
                                           "[ \"$#\" = 2 ] && [ \"$1\" = 'hosts:.*mdns4' ] && "
                                           "[ \"$2\" = /etc/nsswitch.conf ] || exit 99\n"
                                           "exec /bin/grep -E -e \"$1\" \""
                                        << root_ << "/nsswitch.conf\"\n";
        chmod((root_ + "/egrep").c_str(), 0755);
    }
    ~NsswitchShim() { std::filesystem::remove_all(root_); }
    NsswitchShim(const NsswitchShim &) = delete;
    NsswitchShim &operator=(const NsswitchShim &) = delete;

    // The file's content; nullptr leaves the file absent.
    void set_contents(const char *text) {
        std::filesystem::remove(root_ + "/nsswitch.conf");
        if (text) std::ofstream(root_ + "/nsswitch.conf") << text;
    }
    void apply(RunOptions &options) const {
        const char *path = getenv("PATH");
        options.set_env["PATH"] = root_ + ":" + (path ? path : "/usr/bin:/bin");
    }

  private:
    std::string root_;
};

// Runs PROGRAM under WRAPPER: "WRAPPER wrapper_args... PROGRAM program_args...".
inline RunResult run_wrapped(const ProgramUnderTest &p, const std::string &wrapper,
                             const std::vector<std::string> &wrapper_args, RunOptions options) {
    ProgramUnderTest wrapped = p;
    wrapped.path = wrapper.c_str(); // lives as long as this call
    std::vector<std::string> args = wrapper_args;
    args.push_back(p.path);
    args.insert(args.end(), options.args.begin(), options.args.end());
    options.args = args;
    options.argv0 = wrapper;
    return run_program(wrapped, options);
}

// Runs a program with modify_ldt refused: "HELPER ERRNO PROGRAM ARGS...".
inline std::string seccomp_helper_path() {
    return std::string(fixture_root) + "/helpers/seccomp_refuse_ldt";
}
