// The manual page lists every identifier the program can write. This reads
// both the page and the program's sources, so adding a finding without
// documenting it (or documenting one that is gone) fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "vocabulary.h"

namespace {

std::set<std::string> matches(const std::string &text, const std::regex &pattern) {
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
        found.insert((*it)[1]);
    return found;
}

Vocabulary program_vocabulary() {
    std::string sources;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(TARVEK_SOURCE_DIR "/src"))
        if (entry.is_regular_file()) sources += read_text_file(entry.path());
    Vocabulary v;
    v.issues = matches(sources, std::regex(R"(report_issue\(\s*"([A-Za-z0-9]+)\")"));
    for (const auto &id : matches(sources, std::regex(R"re("(Missing[A-Z][A-Za-z0-9]*)")re")))
        v.issues.insert(id);
    v.libraries = matches(sources, std::regex(R"re("(Lib[A-Z][A-Za-z0-9_]*)")re"));
    v.properties = matches(
        sources, std::regex(R"(report_(?:arch_)?property\(\s*"([a-z0-9_]+(?:\.[a-z0-9_]+)+)\")"));
    return v;
}

TEST(ManualPage, ListsExactlyTheIdentifiersTheProgramWrites) {
    std::string page = read_text_file(TARVEK_MANUAL_PAGE);
    ASSERT_FALSE(page.empty());
    Vocabulary v = program_vocabulary();
    EXPECT_EQ(manual_page_entries(page, "ISSUES"), v.issues);
    EXPECT_EQ(manual_page_entries(page, "LIBRARIES"), v.libraries);
    EXPECT_EQ(manual_page_entries(page, "PROPERTIES"), v.properties);
    // A vocabulary this small would mean the source scan lost its way.
    EXPECT_GT(v.libraries.size(), 40u);
}

// The page installed is the one made from doc/tarvek.1.in at configure time.
TEST(ManualPage, CarriesTheProjectVersion) {
    std::string page = read_text_file(TARVEK_MANUAL_PAGE);
    EXPECT_NE(page.find("\n.TH TARVEK 1 \"2026-12-07\" \"tarvek " TARVEK_VERSION "\""),
              std::string::npos);
    EXPECT_EQ(page.find('@'), std::string::npos);
}

TEST(ManualPage, TarvekSixtyFourNamesTheSamePage) {
    EXPECT_EQ(read_text_file(TARVEK_SOURCE_DIR "/doc/tarvek64.1"), ".so man1/tarvek.1\n");
}

}  // namespace
