// The two kernel probes of both programs, under real refusals: a seccomp
// filter that makes modify_ldt fail, and real limits set with prlimit.
#include <gtest/gtest.h>

#include "paths.h"
#include "probe_support.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"

namespace {

class KernelLimits : public ProgramTest<ProgramUnderTest> {};

// AddressSanitizer reserves terabytes of shadow memory up front, so a
// sanitized tarvek64 cannot start under a small address-space limit at all.
#define SKIP_IF_SANITIZED_UNDER_LIMIT(p)                                                       \
    if ((p).bits == 64 && tarvek64_sanitized) GTEST_SKIP() << "sanitized build"

std::string rlimit_trace(const char *max) {
    return std::string("getrlimit(RLIMIT_AS) returned 0, max=") + max + "\n";
}

struct LdtCase {
    int error;
    bool reported;
};

// Only EINVAL is the kernel refusing the segment itself; ENOSYS (no LDT
// support) and EPERM (a sandbox) say nothing about 16-bit code. E2BIG is what
// the helper answers to any call but the one the probe must make.
TEST_P(KernelLimits, OnlyEinvalFromModifyLdtIsReported) {
    const auto &p = GetParam();
    const LdtCase cases[] = {{22, true}, {38, false}, {1, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        RunOptions o;
        RunResult r = run_wrapped(p, seccomp_helper_path(), {std::to_string(c.error)}, o);
        ASSERT_EQ(r.exit_code(), 0) << r.err;
        std::string expected = arch_property_section(p, "vulkan.present", "yes");
        if (c.reported)
            expected += issue_section(p, "BrokenLDT16");
        EXPECT_EQ(r.out.substr(0, expected.size()), expected);
        EXPECT_EQ(r.out.find("BrokenLDT16") != std::string::npos, c.reported) << r.out;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(parse_report(r.out).ok()) << r.out;
    }
}

struct LimitCase {
    const char *name;
    const char *limits; // prlimit's SOFT:HARD
    const char *max;    // as traced: the hard limit's low 32 bits, signed
    bool reported;
};

// The 32-bit program must see limits of 4 GiB and more: its old getrlimit
// would turn them into "unlimited". A hard limit of exactly 4 GiB is the case
// where it matters, and its low 32 bits are all clear.
const LimitCase limit_cases[] = {
    {"NoLimit", "unlimited:unlimited", "-1", false},
    {"SoftOnly", "3221225472:unlimited", "-1", false},
    {"Hard4GiB", "4294967296:4294967296", "0", true},
    {"Hard5GiB", "4294967296:5368709120", "1073741824", true},
    {"Hard3GiB", "3221225472:3221225472", "-1073741824", true},
};

TEST_P(KernelLimits, HardAddressSpaceLimitIsReported) {
    const auto &p = GetParam();
    SKIP_IF_SANITIZED_UNDER_LIMIT(p);
    for (const auto &c : limit_cases) {
        SCOPED_TRACE(c.name);
        RunOptions o;
        o.args = {"--debug"};
        RunResult r = run_wrapped(p, "/usr/bin/prlimit", {std::string("--as=") + c.limits}, o);
        ASSERT_EQ(r.exit_code(), 0) << r.err;
        EXPECT_NE(r.err.find(found_trace(p, "libvulkan.so.1") + rlimit_trace(c.max)),
                  std::string::npos)
            << r.err;
        // Every library still loads under these limits, on this machine, in
        // both programs: the report opens with the vulkan property and the
        // issue, if any, follows it at once.
        std::string expected = arch_property_section(p, "vulkan.present", "yes");
        if (c.reported) expected += issue_section(p, "BadRlimitAS");
        EXPECT_EQ(r.out.substr(0, expected.size()), expected);
        EXPECT_EQ(r.out.find("BadRlimitAS") != std::string::npos, c.reported) << r.out;
    }
}

TEST_P(KernelLimits, WithoutDebugTheLimitProbeIsSilent) {
    const auto &p = GetParam();
    SKIP_IF_SANITIZED_UNDER_LIMIT(p);
    RunResult r = run_wrapped(p, "/usr/bin/prlimit", {"--as=4294967296:4294967296"}, {});
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find(issue_section(p, "BadRlimitAS")),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, KernelLimits, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
