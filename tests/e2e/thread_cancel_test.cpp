// Thread cancellation in both programs: glibc's own pthread_cancel with and
// without a working unwinder, and stand-in libpthread.so.0 libraries whose
// entry points fail, abort or are absent.
#include <gtest/gtest.h>

#include <functional>

#include "fixture_dir.h"
#include "probe_support.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

class ThreadCancel : public ProgramTest<ProgramUnderTest> {};

std::string cancel_issue(const ProgramUnderTest &p) {
    return issue_section(p, "PthreadCancelNotWorking");
}
std::string missing_gcc_s(const ProgramUnderTest &p) {
    return missing_library_section(p, "LibGcc_s", "libgcc_s.so.1");
}
std::string missing_pthread(const ProgramUnderTest &p) {
    return missing_library_section(p, "LibPthread", "libpthread.so.0");
}
std::string nothing(const ProgramUnderTest &) { return ""; }

struct Fixture {
    std::string soname;
    std::string fixture;
};

struct CancelCase {
    const char *name;
    std::vector<Fixture> fixtures;
    std::vector<std::string> blocked;
    // All that the thread step writes, as one run of sections.
    std::function<std::string(const ProgramUnderTest &)> sections;
    const char *trace;        // must be in the trace
    const char *absent_trace; // must not be
};

const CancelCase cancel_cases[] = {
    {"RealLibraries", {}, {}, nothing, "libpthread.so.0\n", "failed ("},
    // The real failure: glibc's pthread_cancel loads libgcc_s.so.1 for its
    // unwinder and aborts when that lacks it.
    {"RealCancelWithAnUnwinderlessLibgcc",
     {{"libgcc_s.so.1", "on_load_clean"}},
     {},
     cancel_issue,
     "libpthread.so.0\n",
     "failed ("},
    {"CancelAborts",
     {{"libpthread.so.0", "pthread_cancel_aborts"}},
     {},
     cancel_issue,
     "libpthread.so.0\n",
     "Missing pthread_"},
    {"CreateFails",
     {{"libpthread.so.0", "pthread_create_fails"}},
     {},
     nothing,
     "pthread_create failed (11)\n",
     "Missing pthread_"},
    {"CancelAbsent",
     {{"libpthread.so.0", "pthread_cancel_absent"}},
     {},
     missing_pthread,
     "Missing pthread_cancel\n",
     "Missing pthread_create"},
    {"NoLibgcc",
     {},
     {"libgcc_s.so.1"},
     missing_gcc_s,
     "libgcc_s.so.1: cannot open shared object file: blocked by test\n",
     "failed ("},
    // Without libgcc_s no thread is started: neither the failing create nor
    // the aborting cancel is ever reached.
    {"NoLibgccCreateNeverCalled",
     {{"libpthread.so.0", "pthread_create_fails"}},
     {"libgcc_s.so.1"},
     missing_gcc_s,
     "libpthread.so.0\n",
     "pthread_create failed"},
    {"NoLibgccCancelNeverCalled",
     {{"libpthread.so.0", "pthread_cancel_aborts"}},
     {"libgcc_s.so.1"},
     missing_gcc_s,
     "libpthread.so.0\n",
     "failed ("},
    {"NoLibgccAndNoLibpthread",
     {},
     {"libgcc_s.so.1", "libpthread.so.0"},
     [](const auto &p) { return missing_gcc_s(p) + missing_pthread(p); },
     "libpthread.so.0: cannot open shared object file: blocked by test\n",
     "Missing pthread_"},
};

TEST_P(ThreadCancel, OnlyABrokenChildIsReportedAsBrokenCancellation) {
    const auto &p = GetParam();
    for (const auto &c : cancel_cases) {
        SCOPED_TRACE(c.name);
        FixtureDir dir;
        for (const auto &f : c.fixtures)
            dir.install(f.soname, f.fixture);
        RunOptions o;
        o.args = {"--debug"};
        o.library_path = dir.library_path();
        o.blocked_sonames = c.blocked;
        RunResult r = run_program(p, o);
        ASSERT_EQ(r.exit_code(), 0);
        // The thread step runs after the library steps, which end with the
        // vulkan property.
        std::string tail = report_slice(r.out, {"vulkan.present"});
        std::string sections = c.sections(p);
        EXPECT_NE(tail.find(sections), std::string::npos) << r.out;
        for (const char *name : {"LibGcc_s", "LibPthread", "PthreadCancelNotWorking"})
            EXPECT_EQ(tail.find(name) != std::string::npos,
                      sections.find(name) != std::string::npos)
                << name << " in " << tail;
        EXPECT_NE(r.err.find(c.trace), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(c.absent_trace), std::string::npos) << r.err;
        EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, ThreadCancel, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
