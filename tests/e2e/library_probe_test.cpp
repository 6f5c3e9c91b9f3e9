// The library steps of both programs: the table, the alternative sonames, the
// mdns step and the vulkan step, against the real loader and real libraries
// of this machine, with fixtures only for libraries that misbehave.
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "fixture_dir.h"
#include "probe_support.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

const char *no_mdns = "hosts:          files dns\n";
const char *with_mdns = "hosts: files mdns4_minimal [NOTFOUND=return] dns\n";

// Everything the library steps wrote: the report up to and including the
// vulkan property, which always ends them.
std::string library_steps_output(const ProgramUnderTest &p, const std::string &out) {
    return report_slice(out, {}, "vulkan.present" + std::string(p.suffix));
}

class LibrarySteps : public ProgramTest<ProgramUnderTest> {
  protected:
    RunOptions options(const char *nsswitch) {
        shim_.set_contents(nsswitch);
        RunOptions o;
        o.args = {"--debug"};
        shim_.apply(o);
        return o;
    }
    NsswitchShim shim_;
};

TEST_P(LibrarySteps, EveryLibraryPresentGivesOneFoundLinePerProbeInOrder) {
    const auto &p = GetParam();
    RunResult r = run_program(p, options(no_mdns));
    std::string trace;
    for (const auto &row : library_rows(p))
        trace += found_trace(p, row.soname);
    trace += found_trace(p, "libgnutls.so.30") + found_trace(p, "liblber-2.5.so.0") +
             found_trace(p, "libldap-2.5.so.0");
    trace += std::string(mdns_command) + " returned 256\n" + found_trace(p, "libvulkan.so.1");
    EXPECT_EQ(r.err.substr(0, trace.size()), trace);
    EXPECT_EQ(library_steps_output(p, r.out), arch_property_section(p, "vulkan.present", "yes"));
}

// A real library present for the other word size only: in a private mount
// namespace the other word size's file is bound over this one's, so the
// real loader finds only a library of the wrong class.
TEST_P(LibrarySteps, RealLibraryOfTheOtherWordSizeOnlyIsMissingForThisOne) {
    const auto &p = GetParam();
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    std::string own = p.bits == 32 ? "i386-linux-gnu" : "x86_64-linux-gnu";
    std::string other = p.bits == 32 ? "x86_64-linux-gnu" : "i386-linux-gnu";
    RunResult r = run_wrapped(
        p, "/usr/bin/unshare",
        {"-m", "/bin/sh", "-c", "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"", "sh",
         "/usr/lib/" + other + "/libcups.so.2", "/usr/lib/" + own + "/libcups.so.2"},
        options(no_mdns));
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(library_steps_output(p, r.out),
              missing_library_section(p, "LibCups", "libcups.so.2") + arch_property_section(p, "vulkan.present", "yes"));
    std::string wrong_class = p.bits == 32 ? "ELFCLASS64" : "ELFCLASS32";
    EXPECT_NE(r.err.find("libcups.so.2: wrong ELF class: " + wrong_class + "\n"), std::string::npos)
        << r.err;
}

struct Fixture {
    std::string soname;
    std::string fixture;
};

struct StepCase {
    const char *name;
    std::vector<Fixture> fixtures;
    std::vector<std::string> blocked;
    // The library steps' whole output, and a run of trace lines it must hold.
    std::function<std::string(const ProgramUnderTest &)> output;
    std::function<std::string(const ProgramUnderTest &)> trace;
};

std::string no_trace(const ProgramUnderTest &) { return ""; }

const StepCase step_cases[] = {
    {"TableLibraryCrashingOnLoad",
     {{"libcapi20.so.3", "on_load_crash"}},
     {},
     [](const auto &p) {
         return broken_library_section(p, "LibCapi20", "libcapi20.so.3") + arch_property_section(p, "vulkan.present", "yes");
     },
     no_trace},
    {"TableLibraryAbortingOnLoad",
     {{"libcapi20.so.3", "on_load_abort"}},
     {},
     [](const auto &p) {
         return broken_library_section(p, "LibCapi20", "libcapi20.so.3") + arch_property_section(p, "vulkan.present", "yes");
     },
     no_trace},
    {"TableLibraryExitingOneOnLoad",
     {{"libcapi20.so.3", "on_load_exit1"}},
     {},
     [](const auto &p) {
         return broken_library_section(p, "LibCapi20", "libcapi20.so.3") + arch_property_section(p, "vulkan.present", "yes");
     },
     no_trace},
    // 163 is the failed-check exit code: the library passes for missing.
    {"TableLibraryExiting163OnLoadLooksMissing",
     {{"libcapi20.so.3", "on_load_exit163"}},
     {},
     [](const auto &p) {
         return missing_library_section(p, "LibCapi20", "libcapi20.so.3") + arch_property_section(p, "vulkan.present", "yes");
     },
     no_trace},
    // And 0 is a passed probe: nothing to see.
    {"TableLibraryExitingZeroOnLoadLooksPresent",
     {{"libcapi20.so.3", "on_load_exit0"}},
     {},
     [](const auto &p) { return arch_property_section(p, "vulkan.present", "yes"); },
     no_trace},
    {"OnlyGnutls28",
     {{"libgnutls.so.28", "on_load_clean"}},
     {"libgnutls.so.30"},
     [](const auto &p) { return arch_property_section(p, "vulkan.present", "yes"); },
     [](const auto &p) {
         return blocked_trace("libgnutls.so.30") + blocked_trace("libgnutls.so.30") +
                found_trace(p, "libgnutls.so.28") + found_trace(p, "liblber-2.5.so.0");
     }},
    {"NoGnutlsTriesAllSixAndNamesTheFirst",
     {},
     {"libgnutls.so.30", "libgnutls.so.28", "libgnutls-deb0.so.28", "libgnutls.so.26"},
     [](const auto &p) {
         return missing_library_section(p, "LibGnutls", "libgnutls.so.30") + arch_property_section(p, "vulkan.present", "yes");
     },
     [](const auto &p) {
         return blocked_trace("libgnutls.so.30") + blocked_trace("libgnutls.so.30") +
                blocked_trace("libgnutls.so.28") + blocked_trace("libgnutls-deb0.so.28") +
                blocked_trace("libgnutls.so.26") + blocked_trace("libgnutls-deb0.so.28") +
                found_trace(p, "liblber-2.5.so.0");
     }},
    {"NoLber",
     {},
     {"liblber-2.5.so.0", "liblber-2.4.so.2", "liblber.so.2"},
     [](const auto &p) {
         return missing_library_section(p, "LibLber2", "liblber-2.5.so.0") + arch_property_section(p, "vulkan.present", "yes");
     },
     [](const auto &p) {
         return blocked_trace("liblber-2.5.so.0") + blocked_trace("liblber-2.4.so.2") +
                blocked_trace("liblber.so.2") + found_trace(p, "libldap-2.5.so.0");
     }},
    // A broken candidate is passed over, never reported.
    {"CrashingCandidateThenOneThatLoads",
     {{"libldap-2.5.so.0", "on_load_crash"}, {"libldap_r-2.4.so.2", "on_load_clean"}},
     {},
     [](const auto &p) { return arch_property_section(p, "vulkan.present", "yes"); },
     [](const auto &p) {
         return found_trace(p, "libldap_r-2.4.so.2") + std::string(mdns_command) +
                " returned 256\n";
     }},
    {"VulkanAbsent",
     {},
     {"libvulkan.so.1"},
     [](const auto &p) {
         return missing_library_section(p, "LibVulkan", "libvulkan.so.1") + arch_property_section(p, "vulkan.present", "no");
     },
     [](const auto &) { return blocked_trace("libvulkan.so.1"); }},
    {"VulkanCrashing",
     {{"libvulkan.so.1", "on_load_crash"}},
     {},
     [](const auto &p) {
         return broken_library_section(p, "LibVulkan", "libvulkan.so.1") + arch_property_section(p, "vulkan.present", "no");
     },
     no_trace},
};

TEST_P(LibrarySteps, FixturesAndBlockedSonames) {
    const auto &p = GetParam();
    for (const auto &c : step_cases) {
        SCOPED_TRACE(c.name);
        FixtureDir dir;
        for (const auto &f : c.fixtures)
            dir.install(f.soname, f.fixture);
        RunOptions o = options(no_mdns);
        o.library_path = dir.library_path();
        o.blocked_sonames = c.blocked;
        RunResult r = run_program(p, o);
        EXPECT_EQ(library_steps_output(p, r.out), c.output(p));
        EXPECT_NE(r.err.find(c.trace(p)), std::string::npos) << r.err;
        EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
    }
}

TEST_P(LibrarySteps, TableLibraryHangingOnLoadIsBrokenAfterTheWatchdog) {
    const auto &p = GetParam();
    FixtureDir dir;
    dir.install("libcapi20.so.3", "on_load_hang");
    RunOptions o = options(no_mdns);
    o.library_path = dir.library_path();
    RunResult r = run_program(p, o);
    EXPECT_EQ(library_steps_output(p, r.out),
              broken_library_section(p, "LibCapi20", "libcapi20.so.3") + arch_property_section(p, "vulkan.present", "yes"));
    EXPECT_NE(r.err.find(found_trace(p, "libXext.so.6") + "Wait for test child timed out\n"),
              std::string::npos)
        << r.err;
    EXPECT_GE(r.seconds, 4.9);
    EXPECT_LT(r.seconds, 9.0);
}

struct MdnsCase {
    const char *name;
    const char *nsswitch; // nullptr: no such file
    const char *fixture;  // installed as libnss_mdns.so.2, or nullptr
    bool wrong_class;
    bool probed;
    bool missing; // a missing-library section for the mdns library
    // A trace line, %d standing for the word size.
    const char *trace;
};

// libnss_mdns.so.2 is not installed here: a probe finds it missing unless a
// fixture stands in for it.
const MdnsCase mdns_cases[] = {
    {"Minimal", with_mdns, nullptr, false, true, true,
     "libnss_mdns.so.2: cannot open shared object file: No such file or directory\n"},
    {"CommentedOutLineCountsToo", "#hosts: files mdns4\nhosts: files dns\n", nullptr, false, true,
     true, "libnss_mdns.so.2: cannot open shared object file: No such file or directory\n"},
    {"ProbedAndPresent", with_mdns, "on_load_clean", false, true, false,
     "found %d-bit libnss_mdns.so.2\n"},
    {"ProbedAndOfTheOtherWordSize", with_mdns, "on_load_clean", true, true, true,
     "libnss_mdns.so.2: wrong ELF class: ELFCLASS"},
    {"NoMdnsOnTheHostsLine", no_mdns, "on_load_clean", false, false, false,
     "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 256\n"},
    {"MdnsOnAnotherLine", "hosts: files dns\nnetworks: mdns4\n", nullptr, false, false, false,
     "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 256\n"},
    {"NoFile", nullptr, nullptr, false, false, false,
     "egrep 'hosts:.*mdns4' /etc/nsswitch.conf >/dev/null 2>&1 returned 512\n"},
};

TEST_P(LibrarySteps, MdnsOnlyWhenTheHostsLineAsksForIt) {
    const auto &p = GetParam();
    for (const auto &c : mdns_cases) {
        SCOPED_TRACE(c.name);
        FixtureDir dir;
        if (c.fixture && c.wrong_class)
            dir.install_wrong_class("libnss_mdns.so.2", c.fixture, p.bits);
        if (c.fixture && !c.wrong_class) dir.install("libnss_mdns.so.2", c.fixture);
        RunOptions o = options(c.nsswitch);
        o.library_path = dir.library_path();
        RunResult r = run_program(p, o);
        std::string expected = arch_property_section(p, "vulkan.present", "yes");
        if (c.missing) expected = missing_library_section(p, "LibNss_mdns2", "libnss_mdns.so.2") + expected;
        EXPECT_EQ(library_steps_output(p, r.out), expected);
        std::string trace = c.trace;
        if (size_t at = trace.find("%d"); at != std::string::npos)
            trace.replace(at, 2, std::to_string(p.bits));
        EXPECT_NE(r.err.find(trace), std::string::npos) << r.err;
        // Probed exactly when the loader was asked for the library.
        EXPECT_EQ(r.err.find("libnss_mdns.so.2") != std::string::npos, c.probed) << r.err;
    }
}

// A machine on which nothing these steps examine can be loaded: every
// section of the library steps, in order, byte for byte; then the two of
// the thread check, which loads libraries too. Later checks write after
// the library steps, so the latter are the head of the report.
TEST_P(LibrarySteps, EveryLibraryUnloadableWholeReport) {
    const auto &p = GetParam();
    RunOptions o = options(with_mdns);
    std::string expected;
    for (const auto &row : library_rows(p)) {
        o.blocked_sonames.push_back(row.soname);
        expected += missing_library_section(p, row.lib_id, row.soname);
    }
    for (const auto &list : alternative_lists())
        o.blocked_sonames.insert(o.blocked_sonames.end(), list.sonames.begin(), list.sonames.end());
    o.blocked_sonames.insert(o.blocked_sonames.end(), {"libnss_mdns.so.2", "libvulkan.so.1",
                                                       "libgcc_s.so.1", "libpthread.so.0"});
    expected += missing_library_section(p, "LibGnutls", "libgnutls.so.30") +
                missing_library_section(p, "LibLber2", "liblber-2.5.so.0") +
                missing_library_section(p, "LibLdap_r2", "libldap-2.5.so.0") +
                missing_library_section(p, "LibNss_mdns2", "libnss_mdns.so.2") +
                missing_library_section(p, "LibVulkan", "libvulkan.so.1") + arch_property_section(p, "vulkan.present", "no");
    RunResult r = run_program(p, o);
    EXPECT_EQ(r.exit_code(), 0);
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);
    std::string thread = missing_library_section(p, "LibGcc_s", "libgcc_s.so.1") +
                         missing_library_section(p, "LibPthread", "libpthread.so.0");
    EXPECT_NE(r.out.find(thread, expected.size()), std::string::npos) << r.out;
    ParsedReport report = parse_report(r.out);
    EXPECT_TRUE(report.ok()) << report.error;
    // One blocked line per probe: table, all twelve candidates, mdns, vulkan.
    size_t probes = 0;
    for (size_t at = 0; (at = r.err.find("blocked by test\n", at)) != std::string::npos; ++at)
        ++probes;
    EXPECT_EQ(probes, library_rows(p).size() + 12 + 1 + 1 + 2);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, LibrarySteps, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
