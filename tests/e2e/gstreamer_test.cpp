// The GStreamer step against the real GStreamer of each word size: the full
// system plugin set, and plugin sets restricted through GStreamer's own
// plugin path with a private registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "fixture_dir.h"
#include "media_support.h"
#include "program_tables.h"
#include "program_test.h"
#include "report_parser.h"
#include "report_sections.h"
#include "run_program.h"

namespace {

// The program's packs; their order is checked against the front end's by
// the program tables test.
const std::vector<Pack> packs = plugin_packs();

class Gstreamer : public ProgramTest<ProgramUnderTest> {
  protected:
    std::string bits() const { return bits_text(GetParam()); }
    std::string issue(const Pack &pack, const std::string &element) const {
        return issue_section(GetParam(), pack.issue_id,
                             std::string("The ") + pack.pack_name + " " + bits() +
                                 "-bit GStreamer plugins appear to be missing " + element);
    }
    std::string found(const Pack &pack, const std::string &element) const {
        return "found " + bits() + "-bit " + pack.pack_name + " GStreamer plugin " + element + "\n";
    }
    std::string could_not(const Pack &pack, const std::string &element) const {
        return "could not instantiate " + element + " in the " + pack.pack_name + " " + bits() +
               "-bit GStreamer plugins pack\n";
    }
    std::string library_found() const { return "found " + bits() + "-bit libgstreamer-1.0.so.0\n"; }
    // Trace of the packs: the library line and the element lines after it.
    static std::string pack_trace(const std::string &err, const std::string &first) {
        return trace_from(err, first, [](const std::string &line) {
            return line.find("GStreamer plugin") != std::string::npos;
        });
    }
    RunResult run(const PluginSet *plugins, bool debug, std::vector<std::string> blocked = {}) {
        RunOptions options;
        if (debug) options.args = {"--debug"};
        if (plugins) options.set_env = plugins->env(GetParam().bits);
        options.blocked_sonames = std::move(blocked);
        RunResult r = run_program(GetParam(), options);
        EXPECT_EQ(r.exit_code(), 0);
        EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
        return r;
    }
    // Every element of every pack, traced as found or not by `present`.
    std::string every_element(const std::function<bool(const std::string &)> &present) const {
        std::string trace;
        for (const auto &pack : packs)
            for (const char *element : pack.elements)
                trace += present(element) ? found(pack, element) : could_not(pack, element);
        return trace;
    }
};

TEST_P(Gstreamer, FullSystemPluginSetReportsNothing) {
    RunResult quiet = run(nullptr, false);
    EXPECT_EQ(gstreamer_sections(quiet.out), "");
    RunResult r = run(nullptr, true);
    EXPECT_EQ(gstreamer_sections(r.out), "");
    EXPECT_EQ(pack_trace(r.err, library_found()),
              library_found() + every_element([](const std::string &) { return true; }));
}

struct PackCase {
    const char *what;
    std::vector<std::string> left_out; // plugin files of the packs left out
    bool debug;
    std::vector<std::pair<int, const char *>> issues; // pack index, element named
    std::vector<std::string> missing;                 // elements traced as not made
};

TEST_P(Gstreamer, RestrictedPluginSetsReportEachPackOnce) {
    const std::vector<PackCase> cases = {
        {"flacdec and vp9dec missing",
         {"libgstflac.so", "libgstvpx.so"},
         false,
         {{2, "flacdec"}},
         {}},
        {"flacdec and vp9dec missing, every element tried",
         {"libgstflac.so", "libgstvpx.so"},
         true,
         {{2, "flacdec"}},
         {"flacdec", "vp9dec"}},
        {"mpg123audiodec missing, asfdemux present",
         {"libgstmpg123.so"},
         false,
         {{3, "mpg123audiodec"}, {4, "mpg123audiodec"}},
         {}},
        {"mpg123audiodec missing, traced",
         {"libgstmpg123.so"},
         true,
         {{3, "mpg123audiodec"}, {4, "mpg123audiodec"}},
         {"mpg123audiodec"}},
        {"asfdemux missing: the decoder row still tests by itself",
         {"libgstasf.so"},
         false,
         {{3, "asfdemux"}},
         {}},
        {"everything of the packs present", {}, true, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        PluginSet plugins(pack_plugin_files_without(c.left_out));
        RunResult r = run(&plugins, c.debug);
        std::string expected;
        for (const auto &[index, element] : c.issues)
            expected += issue(packs[index], element);
        EXPECT_EQ(gstreamer_sections(r.out), expected);
        if (!c.debug) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        EXPECT_EQ(pack_trace(r.err, library_found()),
                  library_found() + every_element([&](const std::string &element) {
                      return std::find(c.missing.begin(), c.missing.end(), element) ==
                             c.missing.end();
                  }));
    }
}

// GStreamer starts but has no plugins: every pack lacks its first element.
TEST_P(Gstreamer, CoreAloneLacksEveryPack) {
    PluginSet core({});
    std::string expected;
    for (const auto &pack : packs)
        expected += issue(pack, pack.elements[0]);
    RunResult quiet = run(&core, false);
    EXPECT_EQ(gstreamer_sections(quiet.out), expected);
    RunResult r = run(&core, true);
    EXPECT_EQ(gstreamer_sections(r.out), expected);
    EXPECT_EQ(pack_trace(r.err, library_found()),
              library_found() + every_element([](const std::string &) { return false; }));
}

// Without the library no element can be made: the missing section, then the
// six packs in table order, each naming its first element.
TEST_P(Gstreamer, UnloadableLibraryIsMissingAndEveryPackLacksItsFirstElement) {
    std::string expected = "[MissingLibGstreamer1" + std::string(GetParam().suffix) +
                           "]\n\"Lib\"=\"libgstreamer-1.0.so.0\"\n\"Title\"=\"Missing " + bits() +
                           "-bit libgstreamer-1.0.so.0 library\"\n\n";
    for (const auto &pack : packs)
        expected += issue(pack, pack.elements[0]);
    const std::string blocked = blocked_message("libgstreamer-1.0.so.0");
    RunResult quiet = run(nullptr, false, {"libgstreamer-1.0.so.0"});
    EXPECT_EQ(gstreamer_sections(quiet.out), expected);
    EXPECT_NE(quiet.out.find(expected), std::string::npos) << "not one run of sections";
    RunResult r = run(nullptr, true, {"libgstreamer-1.0.so.0"});
    EXPECT_EQ(gstreamer_sections(r.out), expected);
    EXPECT_EQ(pack_trace(r.err, blocked),
              blocked + every_element([](const std::string &) { return false; }));
}

// A third-party plugin that crashes when loaded, on a cold cache: the scan
// runs in GStreamer's scanner helper as applications' scans do, so the packs
// read as without the plugin. Only a scan in the check's own child (forking
// refused, or no helper of this word size) breaks the check, which says so.
TEST_P(Gstreamer, CrashingPluginOnAColdCacheHidesNoPackWhereTheScannerRuns) {
    const std::string other_scanner = std::string("/usr/lib/") +
                                      (GetParam().bits == 32 ? "x86_64" : "i386") +
                                      "-linux-gnu/gstreamer1.0/gstreamer-1.0/gst-plugin-scanner";
    const std::vector<std::tuple<const char *, std::string, bool>> cases = {
        {"GST_PLUGIN_SCANNER_1_0", "", false},
        {"GST_REGISTRY_FORK", "no", true},
        {"GST_PLUGIN_SCANNER_1_0", other_scanner, true}};
    for (const auto &[variable, value, broken] : cases) {
        SCOPED_TRACE(value);
        PluginSet plugins(pack_plugin_files_without({"libgstlibav.so"}));
        FixtureDir third_party;
        third_party.install("libgstthirdparty.so", "on_load_crash", GetParam().bits);
        RunOptions options;
        options.args = {"--debug"};
        options.set_env = plugins.env(GetParam().bits);
        options.set_env["GST_PLUGIN_PATH_1_0"] = third_party.root() + "/" + bits();
        options.set_env[variable] = value;
        RunResult r = run_program(GetParam(), options);
        EXPECT_EQ(gstreamer_sections(r.out),
                  broken ? broken_library_section(GetParam(), "LibGstreamer1", "libgstreamer-1.0.so.0")
                         : issue(packs[5], "avdec_eac3"));
        EXPECT_EQ(r.err.find("The GStreamer check broke: its child was ended by signal 11\n") !=
                      std::string::npos,
                  broken);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Gstreamer, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
