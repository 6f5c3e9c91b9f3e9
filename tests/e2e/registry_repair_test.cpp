// Registry repair with real cache files under a HOME of the test's own. The
// GStreamer library is made unloadable so that nothing rewrites the caches
// after the repair has judged them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "media_support.h"
#include "program_test.h"
#include "run_program.h"

namespace {

const std::string cache_dir = "/.cache/gstreamer-1.0";
const std::string i586 = "registry.i586.bin";
const std::string i686 = "registry.i686.bin";

std::string repeat(const std::string &text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// `count` markers, each a string of its own.
std::string bare_markers(int count) { return repeat(std::string("BLACKLIST\0", 10), count); }
// The same followed by a string of padding: a string that starts within the
// last 10 bytes read is not looked into, so the last marker needs room.
std::string markers(int count) { return bare_markers(count) + std::string(15, 'p') + '\0'; }

// Eight markers, then one long string running up to byte 1023 with a ninth
// marker starting at `ninth_at`, then many more past the first kilobyte.
std::string ninth_marker_at(size_t ninth_at) {
    std::string data = bare_markers(8);
    data += std::string(ninth_at - data.size(), 'x') + "BLACKLIST";
    data += std::string(1024 - std::min<size_t>(data.size(), 1024), 'y');
    return data + markers(30);
}

class RegistryRepair : public ProgramTest<ProgramUnderTest> {
  protected:
    // HOME holding the two cache files, when given.
    struct Home {
        TempDir dir;
        std::string path(const std::string &file) const {
            return dir.path() + cache_dir + "/" + file;
        }
        void put(const std::string &file, const std::string &content) const {
            std::filesystem::create_directories(dir.path() + cache_dir);
            std::ofstream(path(file), std::ios::binary) << content;
        }
    };
    RunResult run(std::map<std::string, std::string> env, std::vector<std::string> unset = {},
                  std::vector<std::string> extra_args = {}) {
        static PulseShim not_running(1);
        env["PATH"] = not_running.path_variable();
        RunOptions options;
        options.args = {"--debug"};
        options.args.insert(options.args.end(), extra_args.begin(), extra_args.end());
        options.set_env = std::move(env);
        options.unset_env = std::move(unset);
        options.blocked_sonames = {"libgstreamer-1.0.so.0"};
        RunResult r = run_program(GetParam(), options);
        EXPECT_EQ(r.exit_code(), 0);
        return r;
    }
    // The repair's trace: after the audio step, before GStreamer is loaded.
    std::string repair_trace(const RunResult &r) const {
        return trace_between(r.err, "found " + bits_text(GetParam()) + "-bit libasound.so.2\n",
                             blocked_message("libgstreamer-1.0.so.0"));
    }
    bool repairs() const { return GetParam().bits == 32; }
};

struct FileCase {
    const char *what;
    std::map<std::string, std::string> files; // name -> content
    std::vector<std::string> deleted;         // by the 32-bit program
};

TEST_P(RegistryRepair, EachCacheFileIsJudgedByTheMarkersInItsFirst1023Bytes) {
    const std::vector<FileCase> cases = {
        {"8 markers stay", {{i586, markers(8)}}, {}},
        {"9 markers are deleted", {{i586, markers(9)}}, {i586}},
        {"a 9th marker in the last 10 bytes is not looked at", {{i586, bare_markers(9)}}, {}},
        {"the 9th marker reaches byte 1023", {{i586, ninth_marker_at(1015)}}, {}},
        {"the 9th marker ends at byte 1022", {{i586, ninth_marker_at(1014)}}, {i586}},
        {"markers back to back count twice",
         {{i586, repeat(std::string("BLACKLISTBLACKLIST\0", 19), 4) + markers(1)}},
         {i586}},
        {"four pairs back to back are 8",
         {{i586, repeat(std::string("BLACKLISTBLACKLIST\0", 19), 4)}},
         {}},
        {"one string of nine", {{i686, repeat("BLACKLIST", 9) + std::string(15, 'p')}}, {i686}},
        {"10 bytes are only traced", {{i586, "BLACKLISTB"}}, {}},
        {"an empty file is only traced", {{i686, ""}}, {}},
        {"both broken", {{i586, markers(9)}, {i686, markers(12)}}, {i586, i686}},
        {"first broken, second sound", {{i586, markers(9)}, {i686, markers(8)}}, {i586}},
        {"first sound, second broken", {{i586, markers(2)}, {i686, markers(9)}}, {i686}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Home home;
        for (const auto &[file, content] : c.files)
            home.put(file, content);
        RunResult r = run({{"HOME", home.dir.path()}});
        std::string expected;
        for (const auto &file : {i586, i686}) {
            bool present = c.files.count(file) != 0;
            bool deleted = std::find(c.deleted.begin(), c.deleted.end(), file) != c.deleted.end();
            if (repairs() && present) expected += "checking " + home.path(file) + "\n";
            if (repairs() && deleted) expected += home.path(file) + " is broken. Deleting it.\n";
            EXPECT_EQ(file_exists(home.path(file)), present && !(repairs() && deleted)) << file;
        }
        EXPECT_EQ(repair_trace(r), expected);
    }
}

TEST_P(RegistryRepair, HomeUnsetEmptyOrLong) {
    RunResult unset = run({}, {"HOME"});
    EXPECT_EQ(repair_trace(unset),
              repairs() ? "cannot check the GStreamer registry because $HOME is not set\n" : "");

    // Set but empty: the paths begin with "/.cache/", where nothing is.
    RunResult empty = run({{"HOME", ""}});
    EXPECT_EQ(repair_trace(empty), "");

    // A HOME far longer than any fixed path buffer, made of real directories.
    Home home;
    std::string deep = home.dir.path();
    while (deep.size() < 3000)
        deep += "/" + std::string(200, 'd');
    std::filesystem::create_directories(deep + cache_dir);
    std::ofstream(deep + cache_dir + "/" + i686, std::ios::binary) << markers(9);
    RunResult long_home = run({{"HOME", deep}});
    std::string path = deep + cache_dir + "/" + i686;
    EXPECT_EQ(repair_trace(long_home),
              repairs() ? "checking " + path + "\n" + path + " is broken. Deleting it.\n" : "");
    EXPECT_EQ(file_exists(path), !repairs());

    // Longer than the system takes as a path: the files cannot be opened, so
    // nothing is traced, and the check goes on to GStreamer.
    RunResult huge = run({{"HOME", "/" + std::string(120000, 'h')}});
    EXPECT_EQ(repair_trace(huge), "");
    EXPECT_NE(huge.out.find("[MissingLibGstreamer1"), std::string::npos);
}

// What the process asks of the file system: each cache file opened once by
// the 32-bit program, never by the 64-bit one.
TEST_P(RegistryRepair, OpensEachCacheFileOnceOnlyIn32BitProgram) {
    if (!have_strace()) GTEST_SKIP() << "strace is not installed";
    for (bool empty_home : {false, true}) {
        SCOPED_TRACE(empty_home ? "empty HOME" : "HOME with both files");
        Home home;
        home.put(i586, markers(9));
        home.put(i686, markers(3));
        RunOptions options;
        options.set_env = {{"HOME", empty_home ? "" : home.dir.path()}};
        options.blocked_sonames = {"libgstreamer-1.0.so.0"};
        RunResult r;
        std::string log = strace_log(GetParam(), options, "open,openat", &r);
        ASSERT_EQ(r.exit_code(), 0) << r.err;
        std::string root = empty_home ? "" : home.dir.path();
        for (const auto &file : {i586, i686}) {
            std::string needle = "\"" + root + cache_dir + "/" + file + "\"";
            size_t first = log.find(needle);
            if (!repairs()) {
                EXPECT_EQ(first, std::string::npos) << file;
                continue;
            }
            ASSERT_NE(first, std::string::npos) << file;
            EXPECT_EQ(log.find(needle, first + 1), std::string::npos) << file;
        }
        EXPECT_EQ(file_exists(home.path(i586)), empty_home || !repairs());
        EXPECT_TRUE(file_exists(home.path(i686)));
        EXPECT_EQ(log.find("registry.x86_64.bin"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, RegistryRepair, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
