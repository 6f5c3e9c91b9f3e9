// The strict report reader that every end-to-end run goes through must
// itself reject what a front end would choke on.
#include <gtest/gtest.h>

#include "report_parser.h"
#include "report_sections.h"

namespace {

struct ParserCase {
    const char *name;
    int bits;
    const char *text;
    bool ok;
};

const ParserCase parser_cases[] = {
    {"empty", 64, "", true},
    {"property_and_issue", 64,
     "[Properties]\n\"display.depth\"=\"24\"\n\n[X11LowDepth.amd64]\n\"Title\"=\"t\"\n\n", true},
    {"broken_first_with_its_blank", 32,
     "\n[BrokenLibCups]\n\"Lib\"=\"libcups.so.2\"\n\"Title\"=\"Broken 32-bit libcups.so.2 "
     "library\"\n\n",
     true},
    {"broken_after_another_section", 64,
     "[Properties]\n\"vulkan.present.amd64\"=\"no\"\n\n\n[BrokenLibVulkan.amd64]\n\"Lib\"=\""
     "libvulkan.so.1\"\n\"Title\"=\"Broken 64-bit libvulkan.so.1 library\"\n\n",
     true},
    {"value_with_quote_unescaped", 32, "[Properties]\n\"opengl.vendor\"=\"a\"b\"\n\n", true},
    {"runs_of_blank_lines", 32, "[X11NotWorking]\n\"Title\"=\"x\"\n\n\n\n[BadRlimitAS]\n\"Title\"=\"y\"\n\n",
     true},
    {"no_final_blank", 32, "[X11NotWorking]\n\"Title\"=\"x\"\n", false},
    {"unterminated_line", 32, "[X11NotWorking]\n\"Title\"=\"x\"", false},
    {"unquoted_value", 32, "[X11NotWorking]\nTitle=x\n\n", false},
    {"unknown_issue", 32, "[NoSuchIssue]\n\"Title\"=\"x\"\n\n", false},
    {"missing_suffix_64", 64, "[X11NotWorking]\n\"Title\"=\"x\"\n\n", false},
    {"suffix_on_plain_property", 64, "[Properties]\n\"display.dpi.amd64\"=\"96.0\"\n\n", false},
    {"vulkan_without_suffix_64", 64, "[Properties]\n\"vulkan.present\"=\"yes\"\n\n", false},
    {"two_properties_one_section", 32,
     "[Properties]\n\"display.depth\"=\"24\"\n\"display.dpi\"=\"96.0\"\n\n", false},
    {"wrong_bits_in_title", 32,
     "[MissingLibCups]\n\"Lib\"=\"libcups.so.2\"\n\"Title\"=\"Missing 64-bit libcups.so.2 "
     "library\"\n\n",
     false},
    {"broken_without_its_blank", 32,
     "[Properties]\n\"vulkan.present\"=\"no\"\n\n[BrokenLibCups]\n\"Lib\"=\"libcups.so.2\"\n"
     "\"Title\"=\"Broken 32-bit libcups.so.2 library\"\n\n",
     false},
    {"unknown_library", 32,
     "[MissingLibNope]\n\"Lib\"=\"x\"\n\"Title\"=\"Missing 32-bit x library\"\n\n", false},
    {"section_without_values", 32, "[X11NotWorking]\n\n", false},
};

class StrictParser : public ::testing::TestWithParam<ParserCase> {};

TEST_P(StrictParser, AcceptsOnlyWhatTheProgramCanWrite) {
    ParsedReport report = parse_report_strictly(GetParam().text, GetParam().bits);
    EXPECT_EQ(report.ok(), GetParam().ok) << report.error;
}

INSTANTIATE_TEST_SUITE_P(Cases, StrictParser, ::testing::ValuesIn(parser_cases),
                         [](const auto &info) { return std::string(info.param.name); });

// The cutter the end-to-end tests slice reports with: by label, blank lines kept.
const std::string a = "[Properties]\n\"vulkan.present\"=\"no\"\n\n";
const std::string b = "\n[BrokenLibPulse]\n\"Lib\"=\"l\"\n\"Title\"=\"t\"\n\n";
const std::string c = "[X11NotWorking]\n\"Title\"=\"x\"\n\n";
const std::string d = "[Properties]\n\"display.dpi\"=\"-1.0\"\n\n";

TEST(ReportSlice, CutsAtSectionsByLabel) {
    const std::string report = a + b + c + d;
    EXPECT_EQ(report_slice(report, {"BrokenLib"}), b + c + d);
    EXPECT_EQ(report_slice(report, {"display.", "X11"}), c + d);
    EXPECT_EQ(report_slice(report, {}, "BrokenLibPulse"), a + b);
    EXPECT_EQ(report_slice(report, {"vulkan."}, "X11"), a + b + c);
    EXPECT_EQ(report_slice(report, {"Opengl"}), "");
    EXPECT_EQ(sections_labelled(report, {"display.", "BrokenLib"}), b + d);
}

}  // namespace
