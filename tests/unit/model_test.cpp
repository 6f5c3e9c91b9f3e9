// The model from literal report text as JSON a real parser reads, os-release
// rows, and the reasons a sibling's document is refused.
#include <gtest/gtest.h>

#include <fstream>

#include "json_lines.h"
#include "model/model_json.h"

namespace {

const std::string head = "schema\t1\nversion\t1.0.0\ndistribution\tnone here\n";

std::string document_of(const WordSizeModel &side) {
    return model_json({"1.0.0", {false, "none here"}, {side}});
}

struct ReportRow {
    const char *name;
    int bits;
    std::string report, lines; // lines: as json_lines gives them
};

class ModelFromReport : public ::testing::TestWithParam<ReportRow> {};

TEST_P(ModelFromReport, GivesTheModelAndAJsonDocumentThatReadsBack) {
    const ReportRow &row = GetParam();
    WordSizeModel side = model_from_report(row.bits, row.report);
    std::string document = document_of(side);
    EXPECT_EQ(json_lines(document), head + row.lines);
    EXPECT_EQ(model_exit_status({"1.0.0", {}, {side}}), side.findings.empty() ? 0 : 3);
    WordSizeModel again;
    std::string why;
    ASSERT_TRUE(side_from_json(document, "1.0.0", row.bits, &again, &why)) << why;
    EXPECT_EQ(document_of(again), document);
}

INSTANTIATE_TEST_SUITE_P(Rows, ModelFromReport, ::testing::Values(
    ReportRow{"LibrariesAndAnIssueThatLooksLikeOne", 64,
              "[MissingLibVulkan.amd64]\n\"Lib\"=\"libvulkan.so.1\"\n"
              "\"Title\"=\"Missing 64-bit libvulkan.so.1 library\"\n\n"
              "\n[BrokenLibCups.amd64]\n\"Lib\"=\"libcups.so.2\"\n"
              "\"Title\"=\"Broken 64-bit libcups.so.2 library\"\n\n"
              "[MissingDriDrivers.amd64]\n\"Title\"=\"There are no DRI drivers\"\n\n"
              "[Properties]\n\"vulkan.present.amd64\"=\"no\"\n\n",
              "side\t64\tchecked\n"
              "finding\t64\tmissing\tMissingLibVulkan.amd64\tLibVulkan\tlibvulkan.so.1\t"
              "Missing 64-bit libvulkan.so.1 library\n"
              "finding\t64\tbroken\tBrokenLibCups.amd64\tLibCups\tlibcups.so.2\t"
              "Broken 64-bit libcups.so.2 library\n"
              "finding\t64\tissue\tMissingDriDrivers.amd64\tMissingDriDrivers\t-\t"
              "There are no DRI drivers\n"
              "property\t64\tvulkan.present.amd64\tno\n"},
    ReportRow{"UnknownSectionIsAnIssue", 32,
              "[X11NotWorking]\n\"Title\"=\"X11 does not work\"\n\n[New]\n\"Title\"=\"t\"\n\"Extra\"=\"\"\n\n",
              "side\t32\tchecked\nfinding\t32\tissue\tX11NotWorking\tX11NotWorking\t-\tX11 does not work\n"
              "finding\t32\tissue\tNew\tNew\t-\tt\n"},
    ReportRow{"ValuesAsWrittenAndBytesJsonCannotCarry", 32,
              "[Properties]\n\"opengl.renderer\"=\"say \"hi\"\"\n\n[Properties]\n\"display.dpi\"=\"\"\n\n"
              "[Properties]\n\"opengl.vendor\"=\"a\x01" "b\xff" "c\xc3\xa9\x7f\xed\xa0\x80\\\nz\"\n\n",
              "side\t32\tchecked\nproperty\t32\topengl.renderer\tsay \"hi\"\nproperty\t32\tdisplay.dpi\t\n"
              "property\t32\topengl.vendor\ta\x01" "b\xef\xbf\xbd" "c\xc3\xa9\x7f"
              "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\\\\\\nz\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ModelJson, RefusesWhatIsNotItsOwnDocumentSayingWhy) {
    const std::string ok = "{\"schema\": 1, \"version\": \"1.0.0\", \"word_sizes\": ";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", "not JSON: unexpected end at byte 0"},
        {"{\"schema\": 1, \"version\": \"1.0.0\"", "not JSON: expected '}' at byte 32"},
        {ok + "[]} {}", "not JSON: text after the document at byte 52"},
        {"{\"schema\": 1, \"version\": \"0.9.0\", \"word_sizes\": []}", "another version (0.9.0, schema 1)"},
        {ok + "[{\"bits\": 64}]}", "no 32-bit side in its document"},
        {ok + "[{\"bits\": 32, \"checked\": true, \"findings\": [{}], \"properties\": {}}]}",
         "its side is not of the model's shape"},
    };
    for (const auto &[text, reason] : rows) {
        WordSizeModel side;
        std::string why;
        EXPECT_FALSE(side_from_json(text, "1.0.0", 32, &side, &why)) << text;
        EXPECT_EQ(why, reason) << text;
    }
}

TEST(Distribution, ReadsOsReleaseOrSaysWhyNot) {
    const std::string path = ::testing::TempDir() + "os-release";
    // Text, and "id|id_like|version_id|pretty_name" or the problem.
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
         "VERSION_ID=\"12\"\nID=debian\n",
         "debian||12|Debian GNU/Linux 12 (bookworm)"},
        {"# comment\n\nID='opensuse-leap'\nID_LIKE=\"suse opensuse\"\nPRETTY_NAME=\"Say \\\"hi\\\"\"",
         "opensuse-leap|suse opensuse||Say \"hi\""},
        {"ID=debian\nthis is not a pair\n", path + ": line 2 is not KEY=VALUE"},
        {"NAME=Linux\n", path + ": no ID"},
    };
    for (const auto &[text, expected] : rows) {
        std::ofstream(path) << text;
        Distribution d = read_distribution(path.c_str());
        EXPECT_EQ(d.known ? d.id + "|" + d.id_like + "|" + d.version_id + "|" + d.pretty_name
                          : d.problem, expected) << text;
    }
    EXPECT_EQ(read_distribution("/nonexistent/os-release").problem,
              "/nonexistent/os-release: No such file or directory");
}

} // namespace
