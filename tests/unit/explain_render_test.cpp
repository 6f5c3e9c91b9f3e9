// The explanation from literal models: its lines, and what stand-in package
// tools on PATH (absent, hanging, failing, printing garbage) lead to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "model/explain_text.h"
#include "model/package_lookup.h"

namespace {

Finding missing(const char *id, const char *soname, const char *suffix = "") {
    return {FINDING_MISSING, std::string("Missing") + id + suffix, id, soname, "x"};
}

RunModel bookworm_model() {
    RunModel model;
    model.version = "1.0.0";
    model.distribution = {true, "", "debian", "", "12", "Debian GNU/Linux 12 (bookworm)"};
    WordSizeModel side32{32, true, "", {}, {}};
    side32.findings = {{FINDING_ISSUE, "NonPulseAudioAlsa", "NonPulseAudioAlsa", "", "ALSA ..."},
                       missing("LibGL", "libGL.so.1"),
                       {FINDING_BROKEN, "BrokenLibX11", "LibX11", "libX11.so.6", "x"},
                       {FINDING_ISSUE, "Weird.Section", "Weird.Section", "", "Its title"}};
    side32.properties = {{"display.depth", "24"}, {"display.dpi", "96.0"},
                         {"opengl.vendor", "Mesa"}, {"opengl.renderer", "llvmpipe (LLVM 15)"},
                         {"opengl.version", "4.5 Mesa 22.3.6"}};
    model.sides = {side32, {64, false, "the 64-bit program did not start", {}, {}}};
    return model;
}

TEST(ExplainRender, LiteralModelToLines) {
    FixLookup fixes;
    fixes.sides = {{{FIX_TABLE, {"libasound2-plugins:i386"}, "", "", ""},
                    {FIX_SIBLING, {"libgl1:i386"}, "", "/usr/lib/x86_64-linux-gnu/libGL.so.1", "libgl1:amd64"},
                    {FIX_BROKEN, {}, "dpkg --verify libx11-6:i386", "", "libx11-6:i386"},
                    {}},
                   {}};
    fixes.notes = {"Could not ask dpkg for its architecture: it did not start: No such file or directory."};
    EXPECT_EQ(render_explanation(bookworm_model(), FAMILY_DEBIAN, fixes),
              "tarvek 1.0.0 on Debian GNU/Linux 12 (bookworm): checked 32-bit programs; 64-bit "
              "programs were not checked: the 64-bit program did not start.\n"
              "Could not ask dpkg for its architecture: it did not start: No such file or directory.\n"
              "\n32-bit programs:\n"
              "  Display: depth 24, 96.0 dpi.\n"
              "  OpenGL: Mesa, llvmpipe (LLVM 15), version 4.5 Mesa 22.3.6.\n"
              "  That renderer is a software rasteriser: there is no hardware OpenGL driver for "
              "32-bit programs.\n"
              "  Graphics:\n"
              "  - The 32-bit library libX11.so.6 crashes or hangs when loaded: 32-bit programs "
              "cannot open a window.\n"
              "    It belongs to libx11-6:i386; check its files with: dpkg --verify libx11-6:i386\n"
              "    Nothing to install: run the program with --debug to see where it stops.\n"
              "  - The 32-bit library libGL.so.1 is missing: 32-bit programs cannot draw with OpenGL.\n"
              "    Fix: install libgl1:i386 (from the package of the 64-bit copy, "
              "/usr/lib/x86_64-linux-gnu/libGL.so.1).\n"
              "  Sound:\n"
              "  - ALSA does not go through PulseAudio: sound of 32-bit programs bypasses the sound "
              "server.\n"
              "    Fix: install libasound2-plugins:i386.\n"
              "  Other libraries:\n"
              "  - [Weird.Section] Its title\n"
              "  To install every package above: sudo apt install libgl1:i386 libasound2-plugins:i386\n"
              "\nProblems found: 4 for 32-bit programs.\n");
}

// No os-release, a broken library nobody owns, no Xft.dpi: what to look for, no command.
TEST(ExplainRender, UnknownDistributionNamesTheSonameOnly) {
    RunModel model = {"1.0.0", {false, "/etc/os-release cannot be read", "", "", "", ""}, {}};
    WordSizeModel side{64, true, "", {missing("LibGL", "libGL.so.1", ".amd64"),
                                      {FINDING_BROKEN, "BrokenLibCups.amd64", "LibCups", "libcups.so.2", "x"}},
                       {{"display.depth", "16"}, {"display.dpi", "-1.0"}}};
    model.sides = {side};
    FixLookup fixes{{{{}, {}}}, {}};
    EXPECT_EQ(render_explanation(model, FAMILY_OTHER, fixes),
              "tarvek 1.0.0 on an unknown distribution (/etc/os-release cannot be read): checked 64-bit programs.\n"
              "\n64-bit programs:\n  Display: depth 16, no Xft.dpi setting.\n  Graphics:\n"
              "  - The 64-bit library libGL.so.1 is missing: 64-bit programs cannot draw with OpenGL.\n"
              "    Look for the package that holds the 64-bit libGL.so.1.\n  Other libraries:\n"
              "  - The 64-bit library libcups.so.2 crashes or hangs when loaded: 64-bit programs cannot print.\n"
              "    Nothing to install: run the program with --debug to see where it stops.\n"
              "\nProblems found: 2 for 64-bit programs.\n");
}

TEST(ExplainRender, SentencesAndRenderers) {
    Finding ugly = {FINDING_ISSUE, "MissingGStreamer1Ugly.amd64", "MissingGStreamer1Ugly", "", "t"};
    EXPECT_EQ(finding_sentence(ugly, 64), "GStreamer's gst-plugins-ugly lacks asfdemux, "
                                          "mpg123audiodec for 64-bit programs: media that need "
                                          "them do not play.");
    Finding ugly_as_missing = {FINDING_MISSING, "MissingGStreamer1Ugly", "GStreamer1Ugly", "", "t"};
    EXPECT_EQ(finding_sentence(ugly_as_missing, 64), finding_sentence(ugly, 64));
    EXPECT_EQ(finding_sentence(missing("LibFoo", "libfoo.so.1"), 32),
              "The 32-bit library libfoo.so.1 is missing.");
    EXPECT_TRUE(is_software_renderer("Software Rasterizer"));
    EXPECT_TRUE(is_software_renderer("softpipe"));
    EXPECT_FALSE(is_software_renderer("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
}

// Stand-in tools in a folder put first on PATH (or alone on it) for one
// lookup of a 32-bit libc.so.6 missing on Debian 12: its 64-bit copy is in
// this machine's loader cache whatever else is installed.
struct StandInTools {
    std::string dir, old_path = getenv("PATH");
    StandInTools(const char *dpkg, const char *apt_cache, const char *foreign) {
        char templ[] = "/tmp/tarvek-explain-XXXXXX";
        dir = mkdtemp(templ);
        if (dpkg) tool("dpkg", "[ \"$1\" = --print-architecture ] && { echo amd64; exit 0; }\n"
                               "[ \"$1\" = --print-foreign-architectures ] && { echo " +
                                   std::string(foreign ? foreign : "i386") + "; exit 0; }\n" +
                                   std::string(dpkg));
        if (apt_cache) tool("apt-cache", apt_cache);
        setenv("PATH", dpkg ? (dir + ":" + old_path).c_str() : dir.c_str(), 1);
    }
    ~StandInTools() {
        setenv("PATH", old_path.c_str(), 1);
        (void)!system(("rm -rf " + dir).c_str());
    }
    void tool(const char *name, const std::string &body) {
        std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
    }
};

struct ToolRow { const char *name, *dpkg, *apt_cache; FixSource source; const char *package, *note, *foreign; };

TEST(ExplainStandInTools, EachAnswerGivesTheRightFixOrNone) {
    const char policy[] = "printf 'libc6:i386:\\n  Candidate: 2.36\\n'";
    const ToolRow rows[] = {
        {"confirmed", "echo \"libc6:amd64: $3\"", policy, FIX_SIBLING, "libc6:i386", ""},
        {"no i386 architecture", "echo \"libc6:amd64: $3\"", "true", FIX_SEARCH, "",
         "dpkg has no i386 architecture: add it first with: sudo dpkg --add-architecture i386 && "
         "sudo apt update", ""},
        {"owned by no package", "exit 1", policy, FIX_SEARCH, "", ""},
        {"owner garbage", "head -c 300 /dev/urandom; echo", policy, FIX_SEARCH, "", ""},
        {"index says none", "echo \"libc6:amd64: $3\"", "printf 'libc6:i386:\\n  Candidate: (none)\\n'",
         FIX_SEARCH, "", ""},
        {"owner hangs", "exec sleep 30", policy, FIX_SEARCH, "", "dpkg which packages own the "
         "libraries: it did not answer within 5 s."},
        {"owner crashes", "kill -SEGV $$", policy, FIX_SEARCH, "", "it was killed by signal 11."},
        {"no package manager", nullptr, nullptr, FIX_SEARCH, "", "it did not start: No such file"},
    };
    for (const ToolRow &row : rows) {
        StandInTools tools(row.dpkg, row.apt_cache, row.foreign);
        RunModel model = bookworm_model();
        model.sides[0].findings = {missing("LibC", "libc.so.6")};
        FixLookup result = look_up_fixes(model, FAMILY_DEBIAN);
        const FindingFix &fix = result.sides[0][0];
        EXPECT_EQ(fix.source, row.source) << row.name;
        EXPECT_EQ(fix.packages.empty() ? "" : fix.packages[0], row.package) << row.name;
        if (row.source == FIX_SEARCH) {
            EXPECT_EQ(fix.command, "apt-file search --architecture i386 libc.so.6") << row.name;
        }
        std::string notes;
        for (const std::string &note : result.notes) notes += note + "\n";
        EXPECT_NE(notes.find(row.note), std::string::npos) << row.name << ": " << notes;
    }
}

struct FamilyToolRow { DistroFamily family; const char *owner_tool, *owner_body, *index_tool, *index_body, *package; };

// The other families' owner and index queries, as their tools answer them.
TEST(ExplainStandInTools, EachFamilyNamesItsOwnPackage) {
    const char rpm[] = "shift 3; for f in \"$@\"; do echo glibc.x86_64; done";
    const FamilyToolRow rows[] = {
        {FAMILY_FEDORA, "rpm", rpm, "dnf", "echo glibc.i686", "glibc.i686"},
        {FAMILY_SUSE, "rpm", rpm, "zypper", "echo 'Name           : glibc-32bit'", "glibc-32bit"},
        {FAMILY_ARCH, "pacman", "[ \"$1\" = -Qo ] && { echo \"$2 is owned by glibc 2.38-1\"; exit; }\n"
         "echo 'Name            : lib32-glibc'", "pacman", nullptr, "lib32-glibc"},
    };
    for (const FamilyToolRow &row : rows) {
        StandInTools tools(nullptr, nullptr, nullptr);
        tools.tool(row.owner_tool, row.owner_body);
        if (row.index_body) tools.tool(row.index_tool, row.index_body);
        RunModel model = bookworm_model();
        model.sides[0].findings = {missing("LibC", "libc.so.6")};
        FixLookup result = look_up_fixes(model, row.family);
        EXPECT_EQ(result.sides[0][0].source, FIX_SIBLING) << row.package;
        EXPECT_EQ(result.sides[0][0].packages, std::vector<std::string>{row.package});
    }
}

} // namespace
