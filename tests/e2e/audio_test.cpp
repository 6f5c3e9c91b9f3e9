// The audio step against the real stack: the real libasound.so.2 of each word
// size reading a configuration of the test's own, a real PulseAudio daemon,
// and a PATH shim where only the answer of `pulseaudio --check` matters.
#include <gtest/gtest.h>

#include <array>

#include "fixture_dir.h"
#include "media_support.h"
#include "paths.h"
#include "program_test.h"
#include "report_parser.h"
#include "report_sections.h"
#include "run_program.h"

namespace {

class Audio : public ProgramTest<ProgramUnderTest> {
  protected:
    std::string bits() const { return bits_text(GetParam()); }
    std::string found(const std::string &soname) const {
        return "found " + bits() + "-bit " + soname + "\n";
    }
    std::string missing_section(const std::string &lib_id, const std::string &soname) const {
        return missing_library_section(GetParam(), lib_id, soname);
    }
    std::string non_pulse_section() const { return issue_section(GetParam(), "NonPulseAudioAlsa"); }
    // The audio step's trace: from its first line up to the GStreamer step.
    static std::string audio_trace(const std::string &err) {
        return trace_from(err,
                          err.find("pulse_running=1\n") != std::string::npos ? "pulse_running=1\n"
                                                                             : "pulse_running=0\n",
                          [](const std::string &line) {
                              return line.find("libgstreamer-1.0.so.0") == std::string::npos &&
                                     line.rfind("checking ", 0) != 0 &&
                                     line.rfind("cannot check the GStreamer", 0) != 0;
                          });
    }
    RunOptions debug_run(std::map<std::string, std::string> env) const {
        RunOptions options;
        options.args = {"--debug"};
        options.set_env = std::move(env);
        return options;
    }
};

struct AlsaCase {
    const char *what;
    const char *config;
    bool issue;
    const char *trace_tail; // after the two "found" lines
};

// Each default device as ALSA itself reads it; the server is only said to run.
TEST_P(Audio, DefaultDeviceTypeDecidesTheIssueWhenPulseAudioRuns) {
    const std::vector<AlsaCase> cases = {
        {"pulse", "pcm.default {\n type pulse\n}\n", false, "pcm.default type: pulse\n"},
        {"hw", "pcm.default {\n type hw\n card 0\n}\n", true, "pcm.default type: hw\n"},
        {"Pulse is not pulse", "pcm.default {\n type Pulse\n}\n", true,
         "pcm.default type: Pulse\n"},
        {"pulse2 is not pulse", "pcm.default {\n type pulse2\n}\n", true,
         "pcm.default type: pulse2\n"},
        {"no type entry", "pcm.default {\n card 0\n device 1\n}\n", false,
         "dev_node: default contains\n  card\n  device\nsnd_config_search(type) failed (-2)\n"},
        {"type is not a string", "pcm.default {\n type {\n  x 1\n }\n}\n", false,
         "type_node: type contains\n  x\nsnd_config_get_string() failed (-22)\n"},
        {"type is an integer", "pcm.default {\n type 5\n}\n", false,
         "type_node: type is an integer\nsnd_config_get_string() failed (-22)\n"},
        {"no default device", "pcm.other {\n type hw\n}\n", false,
         "snd_config_search_definition(pcm.default) failed (-2)\n"},
    };
    PulseShim running(0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("asound.conf", c.config);
        RunResult r =
            run_program(GetParam(), debug_run({{"PATH", running.path_variable()},
                                               {"ALSA_CONFIG_PATH", dir.file("asound.conf")}}));
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(audio_sections(r.out), c.issue ? non_pulse_section() : "");
        EXPECT_EQ(audio_trace(r.err), "pulse_running=1\n" + found("libpulse.so.0") +
                                          found("libasound.so.2") + c.trace_tail);
        EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
    }
}

// Without a server neither libpulse nor the configuration is looked at, so a
// non-pulse default device goes unreported.
TEST_P(Audio, WithoutAServerOnlyTheAlsaLibraryIsLoaded) {
    PulseShim not_running(1);
    PulseShim command_fails(127);
    TempDir dir;
    dir.write("asound.conf", "pcm.default {\n type hw\n}\n");
    for (const auto *shim : {&not_running, &command_fails}) {
        RunResult r =
            run_program(GetParam(), debug_run({{"PATH", shim->path_variable()},
                                               {"ALSA_CONFIG_PATH", dir.file("asound.conf")}}));
        EXPECT_EQ(audio_sections(r.out), "");
        EXPECT_EQ(audio_trace(r.err), "pulse_running=0\n" + found("libasound.so.2"));
    }
    // No pulseaudio command at all: the shell's "not found" is just another status.
    RunOptions no_command = debug_run({{"PATH", dir.path()}});
    RunResult r = run_program(GetParam(), no_command);
    EXPECT_EQ(audio_sections(r.out), "");
    EXPECT_EQ(audio_trace(r.err), "pulse_running=0\n" + found("libasound.so.2"));
}

TEST_P(Audio, MissingAlsaLibraryIsNamedByWhetherPulseAudioRuns) {
    struct Case {
        int check_status;
        const char *lib_id;
        std::string trace;
    };
    const std::vector<Case> cases = {
        {1, "LibAsound", "pulse_running=0\n" + blocked_message("libasound.so.2")},
        {0, "LibAsoundMidi",
         "pulse_running=1\n" + found("libpulse.so.0") + blocked_message("libasound.so.2")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lib_id);
        PulseShim shim(c.check_status);
        for (bool debug : {false, true}) {
            RunOptions options = debug_run({{"PATH", shim.path_variable()}});
            if (!debug) options.args.clear();
            options.blocked_sonames = {"libasound.so.2"};
            RunResult r = run_program(GetParam(), options);
            EXPECT_EQ(audio_sections(r.out), missing_section(c.lib_id, "libasound.so.2"));
            EXPECT_EQ(audio_trace(r.err), debug ? c.trace : "");
        }
    }
}

// The one thing a real libasound cannot show: a library that lacks names.
// Every name is looked up all the same, in binding order.
TEST_P(Audio, AlsaLibraryLackingNamesIsMissingAfterEveryLookup) {
    struct Case {
        const char *fixture;
        std::string missing_lines;
    };
    const std::vector<Case> cases = {
        {"alsa_without_update", "Missing snd_config_update\n"},
        {"alsa_without_config_and_next", "Missing snd_config\nMissing snd_config_iterator_next\n"},
        {"alsa_without_search_definition", "Missing snd_config_search_definition\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fixture);
        FixtureDir fixtures;
        fixtures.install("libasound.so.2", c.fixture);
        for (int check_status : {1, 0}) {
            PulseShim shim(check_status);
            RunOptions options = debug_run({{"PATH", shim.path_variable()}});
            options.library_path = fixtures.library_path();
            RunResult r = run_program(GetParam(), options);
            std::string head = check_status == 0 ? "pulse_running=1\n" + found("libpulse.so.0")
                                                 : std::string("pulse_running=0\n");
            EXPECT_EQ(audio_trace(r.err), head + found("libasound.so.2") + c.missing_lines);
            EXPECT_EQ(audio_sections(r.out),
                      missing_section(check_status == 0 ? "LibAsoundMidi" : "LibAsound",
                                      "libasound.so.2"));
        }
    }
}

// A real server, found by the real `pulseaudio --check`.
TEST_P(Audio, RealPulseAudioServer) {
    PulseServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
    TempDir dir;
    dir.write("asound.conf", "pcm.default {\n type pulse\n}\n");
    struct Case {
        const char *what;
        std::vector<std::string> blocked;
        std::string sections;
        std::string trace;
    };
    const std::vector<Case> cases = {
        {"routed through the server",
         {},
         "",
         "pulse_running=1\n" + found("libpulse.so.0") + found("libasound.so.2") +
             "pcm.default type: pulse\n"},
        {"client library unloadable",
         {"libpulse.so.0"},
         missing_section("LibPulse", "libpulse.so.0"),
         "pulse_running=1\n" + blocked_message("libpulse.so.0") + found("libasound.so.2") +
             "pcm.default type: pulse\n"},
        {"ALSA library unloadable",
         {"libasound.so.2"},
         missing_section("LibAsoundMidi", "libasound.so.2"),
         "pulse_running=1\n" + found("libpulse.so.0") + blocked_message("libasound.so.2")},
        {"both unloadable",
         {"libpulse.so.0", "libasound.so.2"},
         missing_section("LibPulse", "libpulse.so.0") +
             missing_section("LibAsoundMidi", "libasound.so.2"),
         "pulse_running=1\n" + blocked_message("libpulse.so.0") +
             blocked_message("libasound.so.2")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto env = server.client_env();
        env["ALSA_CONFIG_PATH"] = dir.file("asound.conf");
        RunOptions options = debug_run(env);
        options.blocked_sonames = c.blocked;
        RunResult r = run_program(GetParam(), options);
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_EQ(audio_sections(r.out), c.sections);
        EXPECT_EQ(audio_trace(r.err), c.trace);
    }
}

// The default device as an application opening "default" gets it, with the
// system's own configuration: Debian's hook routes ALSA through a daemon it
// can reach, over whatever the user's ~/.asoundrc says. The daemon accepts
// clients of its own user, as a desktop session's does; PULSE_SERVER naming
// a socket where nobody listens leaves the daemon running but unreachable.
// ALSA_CONFIG_PATH replaces the whole configuration, hook included.
TEST_P(Audio, DefaultDeviceResolvedThroughTheSystemsHooks) {
    PulseServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start";
    struct Case {
        const char *what;
        const char *asoundrc;     // written to the private HOME when set
        const char *alsa_config;  // ALSA_CONFIG_PATH file when set
        bool reachable;
        bool issue;
        const char *trace_tail;   // after the two "found" lines, ALSA's own lines left out
        bool alsa_lines;          // ALSA's own error lines in the trace
    };
    const std::vector<Case> cases = {
        {"stock, hook", nullptr, nullptr, true, false, "pcm.default type: pulse\n", false},
        {"~/.asoundrc hw, hook", "pcm.!default {\n type hw\n card 0\n}\n", nullptr, true, false,
         "pcm.default type: pulse\n", false},
        {"~/.asoundrc dmix, hook", "pcm.!default \"dmix\"\n", nullptr, true, false,
         "pcm.default type: pulse\n", false},
        {"no hook, hw", nullptr, "pcm.default {\n type hw\n card 0\n}\n", true, true,
         "pcm.default type: hw\n", false},
        {"stock, daemon unreachable, no card", nullptr, nullptr, false, false,
         "snd_config_search_definition(pcm.default) failed (-2)\n", true},
        {"hook module missing", "hook_func.x {\n lib \"/none/x.so\"\n}\n@hooks [ { func x } ]\n",
         "@hooks [ { func load files [ \"~/.asoundrc\" ] errors false } ]\n", true, true,
         "hook module missing: /none/x.so\nsnd_config_search_definition(pcm.default) failed (-2)\n",
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir home;
        if (c.asoundrc) home.write(".asoundrc", c.asoundrc);
        if (c.alsa_config) home.write("asound.conf", c.alsa_config);
        auto env = server.client_env();
        env["HOME"] = home.path();
        if (c.alsa_config) env["ALSA_CONFIG_PATH"] = home.file("asound.conf");
        if (!c.reachable) env["PULSE_SERVER"] = "unix:" + home.file("no-server");
        RunOptions options = debug_run(env);
        options.unset_env = {"XDG_CONFIG_HOME"};
        RunResult r = run_program(GetParam(), options);
        std::string trace, alsa_lines;
        for (const auto &line : lines_of(audio_trace(r.err)))
            (line.rfind("ALSA lib ", 0) == 0 ? alsa_lines : trace) += line;
        EXPECT_EQ(audio_sections(r.out), c.issue ? non_pulse_section() : "");
        EXPECT_EQ(trace, "pulse_running=1\n" + found("libpulse.so.0") + found("libasound.so.2") +
                             c.trace_tail);
        EXPECT_EQ(!alsa_lines.empty(), c.alsa_lines) << alsa_lines;
        options.args.clear();
        RunResult quiet = run_program(GetParam(), options);
        EXPECT_EQ(quiet.err, "");
        EXPECT_EQ(audio_sections(quiet.out), audio_sections(r.out));
    }
}

// A real PipeWire with its PulseAudio server on a Debian 13 userland, found by
// its socket alone; each row's packages are removed in a throw-away overlay.
TEST_P(Audio, PipeWireServerOnDebian13) {
    if (GetParam().bits == 64 && tarvek64_sanitized) GTEST_SKIP() << "sanitized build";
    const std::string script = TARVEK_SOURCE_DIR "/scripts/userland.sh";
    RunResult made = run_program({"userland.sh", script.c_str(), 64, ""},
                                 {.args = {"make", "trixie"}, .timeout_seconds = 280});
    if (made.exit_code() != 0) GTEST_SKIP() << "no Debian 13 userland:\n" << made.err;
    const std::string pipewire = found("libasound.so.2") + "pcm.default type: pipewire\n",
                      lost = "pcm.default module missing: /lib/i386-linux-gnu/alsa-lib/"
                             "libasound_module_pcm_pipewire.so\n";
    // Packages removed (32-bit only: tarvek64 keeps the whole system); tarvek's sections, trace.
    const std::vector<std::array<std::string, 3>> cases = {
        {"", "", found("libpulse.so.0") + pipewire},
        {"libpulse0:i386", // apt takes the 32-bit pipewire-alsa with it
         missing_section("LibPulse", "libpulse.so.0") + non_pulse_section(),
         "libpulse.so.0: cannot open shared object file: No such file or directory\n" + pipewire +
             lost},
        {"pipewire-alsa:i386 libasound2-plugins:i386", non_pulse_section(),
         found("libpulse.so.0") + pipewire + lost},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        const auto &expected = GetParam().bits == 32 ? c : cases[0];
        RunResult r = run_program(
            GetParam(), {.args = {"--debug"}, .wrapper = {script, "pipewire", "trixie", c[0]}});
        EXPECT_EQ(audio_sections(r.out), expected[1]) << r.err;
        EXPECT_EQ(audio_trace(r.err), "pulse_running=1\n" + expected[2]);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Audio, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
