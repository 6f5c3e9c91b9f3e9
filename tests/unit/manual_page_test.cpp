// The manual page lists every identifier the program can write. This reads
// the page, the program's tables (from the linked core) and the writer calls
// in its sources, so adding a finding without documenting it (or
// documenting one that is gone) fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "program_tables.h"
#include "vocabulary.h"

namespace {

std::set<std::string> matches(const std::string &text, const std::regex &pattern) {
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
        found.insert((*it)[1]);
    return found;
}

// Library identifiers written as literals among the arguments of a call
// that reports a library (a conditional may choose between two).
std::set<std::string> libraries_in_calls(const std::string &sources) {
    std::set<std::string> found;
    std::regex call(R"((?:report_missing_library|report_broken_library|check_library)\(([^;]*);)");
    for (const auto &arguments : matches(sources, call))
        for (const auto &id : matches(arguments, std::regex(R"re("(Lib[A-Z][A-Za-z0-9_]*)")re")))
            found.insert(id);
    return found;
}

Vocabulary program_vocabulary() {
    std::string sources;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(TARVEK_SOURCE_DIR "/src"))
        if (entry.is_regular_file()) sources += read_text_file(entry.path());
    Vocabulary v;
    v.issues = matches(sources, std::regex(R"(report_issue\(\s*"([A-Za-z0-9]+)\")"));
    for (const auto &pack : plugin_packs())
        v.issues.insert(pack.issue_id);
    v.libraries = libraries_in_calls(sources);
    for (int i = 0; i < library_table_rows; ++i)
        v.libraries.insert(library_table[i].lib_id);
    for (const auto &list : alternative_lists())
        v.libraries.insert(list.lib_id);
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

// The line that follows ".B ID" on the page; roff writes '-' as "\-".
std::string entry_text(const std::string &page, const std::string &id) {
    size_t at = page.find("\n.B " + id + "\n");
    if (at == std::string::npos) return "";
    at = page.find('\n', at + 1) + 1;
    return page.substr(at, page.find('\n', at) - at);
}

std::string roff(const std::string &text) {
    std::string escaped;
    for (char c : text)
        escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    return escaped;
}

TEST(ManualPage, NamesEachTableRowsSonameAndWhichProgramsProbeIt) {
    std::string page = read_text_file(TARVEK_MANUAL_PAGE);
    for (int i = 0; i < library_table_rows; ++i) {
        const LibraryEntry &row = library_table[i];
        std::string text = entry_text(page, row.lib_id);
        EXPECT_EQ(text.rfind(roff(row.soname) + ": ", 0), 0u) << row.lib_id << ": " << text;
        EXPECT_EQ(text.find("(64\\-bit program only)") != std::string::npos,
                  row.word_sizes == ONLY_64_BIT)
            << row.lib_id << ": " << text;
    }
    for (const auto &list : alternative_lists())
        EXPECT_EQ(entry_text(page, list.lib_id).rfind(roff(list.sonames[0]) + ": ", 0), 0u)
            << list.lib_id;
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
