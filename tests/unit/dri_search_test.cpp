// The DRI search over a test's own directories: what counts as a driver
// file, where the search stops, and its exact trace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "checks/graphics/dri_search.h"
#include "report/report.h"

namespace {

class DriSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarvek-dri-XXXXXX";
        root_ = mkdtemp(pattern);
        set_debug_enabled(1);
    }
    void TearDown() override {
        set_debug_enabled(0);
        std::filesystem::remove_all(root_);
    }
    std::string dir(const std::string &name, const std::vector<std::string> &entries) {
        std::string path = root_ + "/" + name;
        mkdir(path.c_str(), 0755);
        for (const auto &entry : entries)
            close(open((path + "/" + entry).c_str(), O_CREAT | O_WRONLY, 0644));
        return path;
    }
    // Searches the list and gives back the result and the trace it wrote.
    std::pair<int, std::string> search(const std::vector<std::string> &dirs) {
        std::vector<const char *> list;
        for (const auto &d : dirs)
            list.push_back(d.c_str());
        list.push_back(nullptr);
        StreamCapture err(stderr);
        int found = search_dri_dirs(list.data());
        return {found, err.text()};
    }
    std::string checking(const std::string &path) {
        return "checking for 64-bit DRI drivers in " + path + "\n";
    }
    std::string root_;
};

TEST_F(DriSearch, FirstMatchEndsTheWholeSearch) {
    std::string first = dir("first", {"i965_dri.so"});
    std::string second = dir("second", {"swrast_dri.so"});
    auto [found, trace] = search({first, second});
    EXPECT_EQ(found, 1);
    EXPECT_EQ(trace, checking(first) + "-> found i965_dri.so\n");
}

TEST_F(DriSearch, AbsentAndUnopenableDirectoriesAreTracedAndSkipped) {
    std::string absent = root_ + "/absent";
    std::string file = root_ + "/plain-file";
    close(open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    std::string second = dir("second", {"swrast_dri.so"});
    auto [found, trace] = search({absent, file, second});
    EXPECT_EQ(found, 1);
    EXPECT_EQ(trace, checking(absent) + "-> could not open: No such file or directory\n" +
                         checking(file) + "-> could not open: Not a directory\n" +
                         checking(second) + "-> found swrast_dri.so\n");
}

TEST_F(DriSearch, OnlyTheExactSuffixCounts) {
    struct Case {
        std::vector<std::string> entries;
        std::string found; // empty: nothing matches
    };
    const std::vector<Case> cases = {
        {{"swrast_dri.so.1", "libdri.so", "I965_DRI.SO", "dri.so", "_dri.s", "x_dri.so~"}, ""},
        {{"_dri.so"}, "_dri.so"},
        {{}, ""},
    };
    int n = 0;
    for (const auto &c : cases) {
        std::string path = dir("case" + std::to_string(n++), c.entries);
        auto [found, trace] = search({path});
        SCOPED_TRACE(path);
        EXPECT_EQ(found, c.found.empty() ? 0 : 1);
        EXPECT_EQ(trace, checking(path) + (c.found.empty() ? "" : "-> found " + c.found + "\n"));
    }
}

TEST_F(DriSearch, TheNameAloneCountsNotTheKindOfEntry) {
    std::string path = dir("kinds", {});
    mkdir((path + "/radeon_dri.so").c_str(), 0755);
    auto [found, trace] = search({path});
    EXPECT_EQ(found, 1);
    EXPECT_EQ(trace, checking(path) + "-> found radeon_dri.so\n");
}

TEST_F(DriSearch, NothingAnywhereIsAResultNotAnError) {
    std::string empty = dir("empty", {});
    auto [found, trace] = search({root_ + "/absent", empty});
    EXPECT_EQ(found, 0);
    EXPECT_EQ(trace, checking(root_ + "/absent") +
                         "-> could not open: No such file or directory\n" + checking(empty));
    auto [none_found, no_trace] = search({});
    EXPECT_EQ(none_found, 0);
    EXPECT_EQ(no_trace, "");
}

} // namespace
