// Exact bytes of every section kind. The word size and suffix are facts of
// the core this is linked with, so it is built once against each core.
#include <gtest/gtest.h>

#include "capture.h"
#include "report/report.h"
#include "target/target.h"

namespace {

struct Build {
    int bits;
    const char *suffix;
};

class ReportTest : public ::testing::TestWithParam<Build> {
  protected:
    void SetUp() override { set_debug_enabled(0); }
    void TearDown() override { set_debug_enabled(0); }
    std::string sfx() const { return GetParam().suffix; }
    std::string bits() const { return std::to_string(GetParam().bits); }
};

TEST_P(ReportTest, PropertySectionsCarryTheSuffixOnlyForArchProperties) {
    StreamCapture out(report_stream);
    report_property("display.depth", "%d", 24);
    report_property("display.dpi", "%.1f", -1.0);
    report_arch_property("vulkan.present", "%s", "yes");
    EXPECT_EQ(out.text(), "[Properties]\n\"display.depth\"=\"24\"\n\n"
                          "[Properties]\n\"display.dpi\"=\"-1.0\"\n\n"
                          "[Properties]\n\"vulkan.present" + sfx() + "\"=\"yes\"\n\n");
}

TEST_P(ReportTest, IssueSectionKeepsTheTitleUnchangedAndUnescaped) {
    StreamCapture out(report_stream);
    report_issue("X11NotWorking", "X11 \"does\" not\nwork %d");
    EXPECT_EQ(out.text(), "[X11NotWorking" + sfx() + "]\n\"Title\"=\"X11 \"does\" not\nwork %d\"\n\n");
}

TEST_P(ReportTest, MissingAndBrokenLibrarySections) {
    StreamCapture out(report_stream);
    report_missing_library("LibVulkan", "libvulkan.so.1");
    report_broken_library("LibCups", "libcups.so.2");
    EXPECT_EQ(out.text(), "[MissingLibVulkan" + sfx() + "]\n\"Lib\"=\"libvulkan.so.1\"\n"
                          "\"Title\"=\"Missing " + bits() + "-bit libvulkan.so.1 library\"\n\n"
                          "\n[BrokenLibCups" + sfx() + "]\n\"Lib\"=\"libcups.so.2\"\n"
                          "\"Title\"=\"Broken " + bits() + "-bit libcups.so.2 library\"\n\n");
}

TEST_P(ReportTest, TraceOnlyWithDebugAndExactlyAsFormatted) {
    {
        StreamCapture err(stderr);
        debug_trace("found %d-bit %s\n", 64, "libX11.so.6");
        EXPECT_EQ(err.text(), "");
    }
    set_debug_enabled(1);
    StreamCapture err(stderr);
    StreamCapture out(report_stream);
    debug_trace("found %d-bit %s\n", 64, "libX11.so.6");
    debug_trace("no newline");
    EXPECT_EQ(is_debug_enabled(), 1);
    EXPECT_EQ(err.text(), "found 64-bit libX11.so.6\nno newline");
    EXPECT_EQ(out.text(), "");
}

TEST_P(ReportTest, TargetFactsAreThoseOfThisWordSize) {
    EXPECT_EQ(target_bits, GetParam().bits);
    EXPECT_STREQ(arch_suffix, GetParam().suffix);
}

// What each program writes, stated for the word size of the linked core.
constexpr Build this_build = TARVEK_TARGET_BITS == 32 ? Build{32, ""} : Build{64, ".amd64"};

INSTANTIATE_TEST_SUITE_P(ThisBuild, ReportTest, ::testing::Values(this_build),
                         [](const auto &info) { return "bits" + std::to_string(info.param.bits); });

}  // namespace
