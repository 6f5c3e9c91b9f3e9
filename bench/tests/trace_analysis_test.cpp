// The library steps as the trace and the fork stamps show them, for the
// sequences the program runs now and those it will run with every step in.
#include <gtest/gtest.h>

#include "trace_analysis.h"

namespace {

// Replays a run: isolated runs fork twice (the trace's size is stamped at
// each fork), and their children or the main process add lines.
struct Replay {
    std::string trace;
    std::vector<int64_t> forks;
    void fork_once() { forks.push_back(static_cast<int64_t>(trace.size())); }
    void line(const std::string &text) { trace += text + "\n"; }
    // The usual order: both forks, then the child's lines.
    void run(std::initializer_list<std::string> child_lines) {
        fork_once();
        fork_once();
        for (const auto &l : child_lines)
            line(l);
    }
    // A quick child: its first line is out before the watchdog is forked.
    void racing_run(const std::string &first, std::initializer_list<std::string> rest) {
        fork_once();
        line(first);
        fork_once();
        for (const auto &l : rest)
            line(l);
    }
};

const char *const mdns_no_match =
    "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 256";

// The library steps of a build whose libraries all load.
Replay library_steps(int bits, int table_rows) {
    Replay r;
    std::string found = "found " + std::to_string(bits) + "-bit ";
    for (int i = 0; i < table_rows; ++i)
        r.run({found + "libtable" + std::to_string(i) + ".so.1"});
    r.run({found + "libgnutls.so.30"});
    r.run({found + "liblber-2.5.so.0"});
    r.run({found + "libldap-2.5.so.0"});
    r.line(mdns_no_match);
    r.run({found + "libvulkan.so.1"});
    return r;
}

// What follows them once the other checks are in.
void later_steps(Replay *r) {
    r->line("getrlimit(RLIMIT_AS) returned 0, max=-1");
    r->run({"pulse_running=1"});
    r->run({"found 64-bit libpulse.so.0"}); // nested, but to the trace alike
    r->line("found 64-bit libasound.so.2");
    r->run({"found 64-bit libgstreamer-1.0.so.0"});
}

TEST(TraceLines, KindsAndNames) {
    struct Case {
        const char *line;
        TraceLineKind kind;
        const char *soname;
    } cases[] = {
        {"found 64-bit libXext.so.6", TraceLineKind::loaded, "libXext.so.6"},
        {"found 32-bit libstdc++.so.6", TraceLineKind::loaded, "libstdc++.so.6"},
        {"found 64-bit ", TraceLineKind::other, ""},
        {"libcapi20.so.3: cannot open shared object file: No such file or directory",
         TraceLineKind::loader_error, "libcapi20.so.3"},
        {"/usr/lib/x86_64-linux-gnu/libfoo.so.1: undefined symbol: bar",
         TraceLineKind::loader_error, "/usr/lib/x86_64-linux-gnu/libfoo.so.1"},
        {"libcups.so.2: wrong ELF class: ELFCLASS64", TraceLineKind::loader_error, "libcups.so.2"},
        {mdns_no_match, TraceLineKind::mdns_search, ""},
        {"egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 512",
         TraceLineKind::mdns_search, ""},
        {"Wait for test child timed out", TraceLineKind::runner, ""},
        {"Unable to wait for test child (4)", TraceLineKind::runner, ""},
        {"getrlimit(RLIMIT_AS) returned 0, max=-1", TraceLineKind::other, ""},
        {"pulse_running=0", TraceLineKind::other, ""},
        {"dev_node: default contains", TraceLineKind::other, ""},
        {"snd_config_search(type) failed (-2)", TraceLineKind::other, ""},
        {"Missing XSync", TraceLineKind::other, ""},
        {"cannot check the GStreamer registry because $HOME is not set", TraceLineKind::other, ""},
    };
    for (const auto &c : cases) {
        TraceLine parsed = classify_trace_line(c.line);
        EXPECT_EQ(parsed.kind, c.kind) << c.line;
        if (c.kind == TraceLineKind::loaded || c.kind == TraceLineKind::loader_error) {
            EXPECT_EQ(parsed.soname, c.soname) << c.line;
        }
    }
}

TEST(LibrarySteps, ProgramWithLibraryStepsOnly) {
    for (int bits : {32, 64}) {
        Replay r = library_steps(bits, bits == 64 ? 33 : 29);
        LibrarySteps steps = find_library_steps(r.trace, r.forks);
        int probes = (bits == 64 ? 33 : 29) + 4;
        EXPECT_EQ(steps.forks, 2 * probes);
        EXPECT_FALSE(steps.followed);
        ASSERT_EQ(steps.sonames.size(), static_cast<size_t>(probes));
        EXPECT_EQ(steps.sonames.front(), "libtable0.so.1");
        EXPECT_EQ(steps.sonames.back(), "libvulkan.so.1");
        EXPECT_EQ(steps.watchdog_timeouts, 0);
    }
}

TEST(LibrarySteps, EndAtTheFirstForkOfTheNextStep) {
    Replay r = library_steps(64, 33);
    later_steps(&r);
    LibrarySteps steps = find_library_steps(r.trace, r.forks);
    EXPECT_EQ(steps.forks, 2 * 37);
    EXPECT_TRUE(steps.followed);
    EXPECT_EQ(steps.first_other, "getrlimit(RLIMIT_AS) returned 0, max=-1");
    ASSERT_EQ(steps.sonames.size(), 37u);
    EXPECT_EQ(steps.sonames.back(), "libvulkan.so.1");
}

// With no main-process line between them, the next step's child may trace
// before its watchdog exists; that run is still not a library probe.
TEST(LibrarySteps, NextStepTracingFirstIsNotCountedAsAProbe) {
    for (bool racing : {false, true}) {
        Replay r = library_steps(64, 33);
        if (racing)
            r.racing_run("pulse_running=1", {"found 64-bit libasound.so.2"});
        else
            r.run({"pulse_running=1", "found 64-bit libasound.so.2"});
        LibrarySteps steps = find_library_steps(r.trace, r.forks);
        EXPECT_EQ(steps.forks, 2 * 37) << racing;
        EXPECT_TRUE(steps.followed);
        EXPECT_EQ(steps.sonames.size(), 37u);
    }
}

TEST(LibrarySteps, MissingAndSilentProbesStillCount) {
    Replay r;
    r.run({"found 64-bit libfreetype.so.6"});
    r.run({"libXext.so.6: cannot open shared object file: No such file or directory"});
    r.run({}); // a library that crashed the probe before it could trace
    r.run({}); // one that hung: the main process traces the time-out
    r.line("Wait for test child timed out");
    r.run({"found 64-bit libcups.so.2"});
    r.line(mdns_no_match);
    r.run({"found 64-bit libvulkan.so.1"});
    later_steps(&r);
    LibrarySteps steps = find_library_steps(r.trace, r.forks);
    EXPECT_EQ(steps.forks, 12);
    EXPECT_TRUE(steps.followed);
    EXPECT_EQ(steps.watchdog_timeouts, 1);
    EXPECT_EQ(steps.sonames, (std::vector<std::string>{"libfreetype.so.6", "libXext.so.6",
                                                       "libcups.so.2", "libvulkan.so.1"}));
}

TEST(LibrarySteps, TimeOutsAreCountedInLaterStepsToo) {
    Replay r = library_steps(32, 29);
    later_steps(&r);
    r.run({});
    r.line("Wait for test child timed out");
    EXPECT_EQ(find_library_steps(r.trace, r.forks).watchdog_timeouts, 1);
}

TEST(LibrarySteps, EmptyTrace) {
    LibrarySteps steps = find_library_steps("", {});
    EXPECT_EQ(steps.forks, 0);
    EXPECT_FALSE(steps.followed);
    EXPECT_TRUE(steps.sonames.empty());
}

} // namespace
