// Launchers leave the program in odd states. None of them may crash the main
// process, change its exit status, or make it wait on a watchdog.
#include <dirent.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "fixture_dir.h"
#include "media_support.h"
#include "probe_support.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

class Hostile : public ProgramTest<ProgramUnderTest> {};

// A closed stdout at start means the launcher discarded the report: the run
// completes and ends with 0. A full or abandoned stdout loses the report: the
// sequence still completes (the trace on stderr proves it), and the program
// says so and ends with 1. Dying by SIGPIPE instead would end the run midway.
TEST_P(Hostile, UndeliverableReportStillCompletesTheRun) {
    RunResult reference = run_program(GetParam(), {.args = {"--debug"}});
    ASSERT_EQ(reference.exit_code(), 0);
    const std::string failed = std::string(GetParam().name) + ":error: cannot write the report: ";
    struct Case {
        const char *name;
        StdoutTarget target;
        int exit_code;
        std::string message;
    };
    for (const Case &c : {Case{"stdout closed", StdoutTarget::closed, 0, ""},
                          Case{"stdout on /dev/full", StdoutTarget::dev_full, 1,
                               failed + "No space left on device\n"},
                          Case{"stdout reader gone", StdoutTarget::reader_gone, 1,
                               failed + "Broken pipe\n"}}) {
        RunOptions options;
        options.args = {"--debug"};
        options.stdout_target = c.target;
        RunResult r = run_program(GetParam(), options);
        EXPECT_TRUE(WIFEXITED(r.status)) << c.name << ": status " << r.status;
        EXPECT_EQ(r.exit_code(), c.exit_code) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, reference.err + c.message) << c.name;
        EXPECT_LT(r.seconds, 4.0) << c.name;
    }
}

TEST_P(Hostile, ManyAndVeryLongArguments) {
    const std::string n = GetParam().name;
    std::string long_arg(100000, 'x');
    RunOptions options;
    options.argv0 = n;
    options.args.assign(2000, "--debug");
    options.args.push_back(long_arg);
    RunResult r = run_program(GetParam(), options);
    EXPECT_EQ(r.exit_code(), 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, n + ":error: unknown option '" + long_arg + "'\n" + n +
                         ":error: try '" + n + " --help' for more information\n");

    RunOptions many;
    many.args.assign(5000, "--debug");
    RunResult full = run_program(GetParam(), many);
    EXPECT_EQ(full.exit_code(), 0);
    EXPECT_TRUE(parse_report(full.out).ok());
}

// Replaces the one occurrence of `from` in `text`; a text without it, or with
// it twice, is marked so that the comparison after it fails visibly.
std::string replace_once(std::string text, const std::string &from, const std::string &to) {
    size_t at = text.find(from);
    if (at == std::string::npos || text.find(from, at + 1) != std::string::npos)
        return "<'" + from + "' not found once in>\n" + text;
    return text.replace(at, from.size(), to);
}

// HOME is the one variable the program reads itself, for the 32-bit registry
// repair; Xlib (.Xdefaults) and Mesa (its shader cache) read it in the
// children too. GStreamer keeps a private registry, so only HOME differs.
TEST_P(Hostile, HomeUnsetEmptyOrLongerThanPathMax) {
    const auto &p = GetParam();
    XvfbServer server;
    ASSERT_TRUE(server.running());
    PluginSet plugins(pack_plugin_files());
    PulseShim not_running(1);
    TempDir home;
    RunOptions options;
    options.args = {"--debug"};
    options.set_env = plugins.env(p.bits);
    options.set_env["PATH"] = not_running.path_variable();
    options.set_env["DISPLAY"] = server.display();
    options.set_env["HOME"] = home.path(); // no registry caches in it
    RunResult reference = run_program(p, options);
    ASSERT_EQ(reference.exit_code(), 0) << reference.err;
    ASSERT_NE(reference.err.find("default screen=0, planes=24\n"), std::string::npos);
    // An empty HOME looks in /.cache: nothing may be there for the case to hold.
    for (const char *name : {"registry.i586.bin", "registry.i686.bin"})
        ASSERT_FALSE(file_exists(std::string("/.cache/gstreamer-1.0/") + name));

    // The repair runs first in the GStreamer child, before the library loads.
    std::string library = found_trace(p, "libgstreamer-1.0.so.0");
    std::string not_set = "cannot check the GStreamer registry because $HOME is not set\n";
    std::string unset_trace =
        p.bits == 32 ? replace_once(reference.err, library, not_set + library) : reference.err;
    struct Case {
        const char *name;
        std::optional<std::string> home; // nullopt: unset
        std::string trace;
    };
    const Case cases[] = {
        {"unset", std::nullopt, unset_trace},
        {"empty", "", reference.err},
        {"longer than PATH_MAX", "/" + std::string(2 * PATH_MAX, 'h'), reference.err},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunOptions hostile = options;
        if (c.home)
            hostile.set_env["HOME"] = *c.home;
        else {
            hostile.set_env.erase("HOME");
            hostile.unset_env = {"HOME"};
        }
        RunResult r = run_program(p, hostile);
        EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(r.out, reference.out);
        EXPECT_EQ(r.err, c.trace);
    }
}

// With PATH empty the shell finds neither egrep nor pulseaudio ("not found",
// status 127): no mdns probe although the hosts line asks for one, and a
// PulseAudio server that runs counts as not running, so neither libpulse nor
// the (non-pulse) default device is looked at. The shell would look in the
// current directory for an empty PATH, so the run starts in an empty one.
TEST_P(Hostile, EmptyPathMakesBothShellCommandsFail) {
    const auto &p = GetParam();
    PulseServer pulse;
    ASSERT_TRUE(pulse.ready()) << "pulseaudio did not start";
    NsswitchShim nsswitch;
    nsswitch.set_contents("hosts: files mdns4_minimal [NOTFOUND=return] dns\n");
    TempDir dir;
    dir.write("asound.conf", "pcm.default {\n type hw\n}\n");
    RunOptions options;
    options.args = {"--debug"};
    options.set_env = pulse.client_env();
    options.set_env["ALSA_CONFIG_PATH"] = dir.file("asound.conf");
    options.unset_env = {"DISPLAY"};
    options.blocked_sonames = {"libnss_mdns.so.2"};
    nsswitch.apply(options);
    RunResult reference = run_program(p, options);
    ASSERT_EQ(reference.exit_code(), 0) << reference.err;

    options.set_env["PATH"] = "";
    // Without its socket's folder the server is known by pulseaudio --check alone.
    options.set_env.erase("XDG_RUNTIME_DIR");
    TempDir empty;
    RunResult r =
        run_wrapped(p, "/bin/sh", {"-c", "cd \"$0\" && exec \"$@\"", empty.path()}, options);
    EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(r.exit_code(), 0);
    std::string out =
        replace_once(reference.out, missing_library_section(p, "LibNss_mdns2", "libnss_mdns.so.2"), "");
    out = replace_once(
        out, issue_section(p, "NonPulseAudioAlsa"), "");
    EXPECT_EQ(r.out, out);
    std::string err = replace_once(reference.err, blocked_trace("libnss_mdns.so.2"),
                                   std::string(mdns_command) + " returned 32512\n");
    err = replace_once(err, "pulse_running=1\n" + found_trace(p, "libpulse.so.0"),
                       "pulse_running=0\n");
    err = replace_once(err, "pcm.default type: hw\n", "");
    EXPECT_EQ(r.err, err);
}

// Processes not yet ended whose parent is a child of this test process (the
// program run_program started): the program's own children.
int live_children_of_the_program() {
    struct Entry {
        int ppid;
        char state;
    };
    std::map<int, Entry> entries;
    DIR *proc = opendir("/proc");
    if (!proc) return -1;
    while (const dirent *e = readdir(proc)) {
        int pid = atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t end_of_name = stat.rfind(')');
        if (end_of_name == std::string::npos) continue;
        Entry entry{};
        if (sscanf(stat.c_str() + end_of_name + 1, " %c %d", &entry.state, &entry.ppid) == 2)
            entries[pid] = entry;
    }
    closedir(proc);
    std::set<int> programs;
    for (const auto &[pid, entry] : entries)
        if (entry.ppid == getpid()) programs.insert(pid);
    int live = 0;
    for (const auto &[pid, entry] : entries)
        if (programs.count(entry.ppid) && entry.state != 'Z') ++live;
    return live;
}

// A watchdog whose test child ended first must die at once, whatever the
// launcher did to SIGTERM. Were it left to sleep, every such watchdog
// would sleep out its five seconds: while the hanging probe waits, the
// watchdogs of all the probes before it would still be there, and at the
// end of the run the last ones would hold the report's pipe open.
TEST_P(Hostile, IgnoredSigtermWithAHangingCheckCostsOneWatchdogTime) {
    const auto &p = GetParam();
    RunOptions options;
    options.args = {"--debug"};
    options.unset_env = {"DISPLAY"};
    RunResult reference = run_program(p, options);
    ASSERT_EQ(reference.exit_code(), 0);
    // No table library before LibOdbc is missing here, so its section leads.
    ASSERT_EQ(reference.out.rfind("[Properties]\n\"vulkan.present", 0), 0u) << reference.out;

    FixtureDir dir;
    dir.install("libodbc.so.2", "on_load_hang");
    options.library_path = dir.library_path();
    options.ignored_signals = {SIGTERM};
    // Halfway through the hang: only its test child lives (the run keeps
    // its time without a watchdog process).
    int live_during_hang = -1;
    std::thread sampler([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        live_during_hang = live_children_of_the_program();
    });
    RunResult r = run_program(p, options);
    sampler.join();
    EXPECT_EQ(live_during_hang, 1);
    EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.out, broken_library_section(p, "LibOdbc", "libodbc.so.2") + reference.out);
    EXPECT_EQ(r.err, replace_once(reference.err, found_trace(p, "libodbc.so.2"),
                                  "Wait for test child timed out\n"));
    EXPECT_GE(r.seconds, 4.9);
    EXPECT_LT(r.seconds, reference.seconds + 7.0);
}

// With stdout closed, the next descriptor a check opens would be 1: in the
// graphics children that is the X connection, and the report (the long
// OpenGL extension lists fill the buffer while the display is open) would be
// written into it. The program fills closed standard descriptors with
// /dev/null first, so the run goes exactly as with a reader.
TEST_P(Hostile, ClosedStdoutIsNotHandedToTheXConnection) {
    const auto &p = GetParam();
    XvfbServer server;
    ASSERT_TRUE(server.running());
    RunOptions options;
    options.args = {"--debug"};
    options.set_env["DISPLAY"] = server.display();
    RunResult reference = run_program(p, options);
    ASSERT_EQ(reference.exit_code(), 0);
    ASSERT_NE(reference.out.find("\"opengl.core.extensions\"=\"GL_"), std::string::npos)
        << "no OpenGL report to lose";

    options.stdout_target = StdoutTarget::closed;
    RunResult r = run_program(p, options);
    EXPECT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, reference.err);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Hostile, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
