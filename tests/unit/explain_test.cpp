// The explanation's decisions as tables: family, package names of the other
// word size, the tools' answers, the rendered lines, and tools that fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "model/distro_family.h"
#include "model/explain_text.h"
#include "model/package_answers.h"
#include "model/package_lookup.h"

namespace {

struct FamilyRow { const char *id, *id_like; bool known; DistroFamily expected; };

TEST(ExplainFamily, FromIdThenIdLike) {
    const FamilyRow rows[] = {
        {"debian", "", true, FAMILY_DEBIAN},      {"linuxmint", "ubuntu debian", true, FAMILY_DEBIAN},
        {"rocky", "rhel centos fedora", true, FAMILY_FEDORA}, {"fedora", "", true, FAMILY_FEDORA},
        {"endeavouros", "arch", true, FAMILY_ARCH}, {"opensuse-tumbleweed", "opensuse suse", true, FAMILY_SUSE},
        {"gentoo", "", true, FAMILY_OTHER},       {"debian", "", false, FAMILY_OTHER},
        {"", "", true, FAMILY_OTHER},
    };
    for (const FamilyRow &row : rows) {
        Distribution d;
        d.known = row.known, d.id = row.id, d.id_like = row.id_like;
        EXPECT_EQ(distro_family(d), row.expected) << row.id << " / " << row.id_like;
    }
}

struct NameRow { DistroFamily family; const char *owner; int owner_bits; const char *expected; };

TEST(ExplainFamily, PackageOfTheOtherWordSize) {
    const NameRow rows[] = {
        {FAMILY_DEBIAN, "libgl1:amd64", 64, "libgl1:i386"},
        {FAMILY_DEBIAN, "libgl1:i386", 32, "libgl1:amd64"},
        {FAMILY_DEBIAN, "lib32stdc++6", 32, "libstdc++6:amd64"},
        {FAMILY_DEBIAN, "libc6-i386", 32, "libc6:amd64"},
        {FAMILY_DEBIAN, "lib32stdc++6:amd64", 64, "lib32stdc++6:i386"},
        {FAMILY_DEBIAN, "libstdc++6:amd64", 64, "libstdc++6:i386"},
        {FAMILY_FEDORA, "mesa-libGL.x86_64", 64, "mesa-libGL.i686"},
        {FAMILY_FEDORA, "glibc.i686", 32, "glibc.x86_64"},
        {FAMILY_FEDORA, "fonts.noarch", 64, ""},
        {FAMILY_ARCH, "libglvnd", 64, "lib32-libglvnd"},
        {FAMILY_ARCH, "lib32-libglvnd", 32, "libglvnd"},
        {FAMILY_ARCH, "gcc-multilib", 32, ""},
        {FAMILY_SUSE, "Mesa-libGL1.x86_64", 64, "Mesa-libGL1-32bit"},
        {FAMILY_SUSE, "Mesa-libGL1-32bit.x86_64", 32, "Mesa-libGL1"},
        {FAMILY_SUSE, "glibc.i586", 32, ""},
        {FAMILY_OTHER, "libgl1", 64, ""},
    };
    for (const NameRow &row : rows)
        EXPECT_EQ(package_for_other_word_size(row.family, row.owner, row.owner_bits), row.expected)
            << row.owner;
}

const char cache[] =
    "1234 libs found in cache `/etc/ld.so.cache'\n"
    "\tlibGL.so.1 (libc6,x86-64) => /lib/x86_64-linux-gnu/libGL.so.1\n"
    "\tlibGL.so.1 (libc6,x32) => /libx32/libGL.so.1\n"
    "\tlibGL.so.1 (libc6) => /lib/i386-linux-gnu/libGL.so.1\n"
    "\tlibm.so.6 (libc6, OS ABI: Linux 3.2.0) => /lib32/libm.so.6\n"
    "\tlibGLX.so.0 (libc6,x86-64) => /usr/lib/x86_64-linux-gnu/libGLX.so.0\n"
    "garbage ) => (\n";

TEST(ExplainAnswers, LoaderCacheByWordSize) {
    EXPECT_EQ(cached_library_path(cache, "libGL.so.1", 64), "/lib/x86_64-linux-gnu/libGL.so.1");
    EXPECT_EQ(cached_library_path(cache, "libGL.so.1", 32), "/lib/i386-linux-gnu/libGL.so.1");
    EXPECT_EQ(cached_library_path(cache, "libm.so.6", 32), "/lib32/libm.so.6");
    EXPECT_EQ(cached_library_path(cache, "libGLX.so.0", 32), "");
    EXPECT_EQ(cached_library_path(cache, "libGL.so", 64), "");
}

struct OwnerRow { DistroFamily family; const char *output; const char *path; const char *expected; };

TEST(ExplainAnswers, OwnerQueries) {
    const std::vector<std::string> asked = {"/lib/a.so.1", "/usr/lib/a.so.1"};
    const OwnerRow rows[] = {
        {FAMILY_DEBIAN, "libgl1:amd64: /usr/lib/a.so.1\n", "/usr/lib/a.so.1", "libgl1:amd64"},
        {FAMILY_DEBIAN, "libgl1:amd64: /usr/lib/a.so.1\n", "/lib/a.so.1", ""},
        {FAMILY_DEBIAN, "x:i386, y:i386: /lib/a.so.1\n", "/lib/a.so.1", "x:i386"},
        {FAMILY_DEBIAN, "diversion by z from: /lib/a.so.1\n", "/lib/a.so.1", ""},
        {FAMILY_DEBIAN, "\x01\xff garbage: /lib/a.so.1\n", "/lib/a.so.1", ""},
        {FAMILY_FEDORA, "file /lib/a.so.1 is not owned by any package\nmesa-libGL.i686\n",
         "/usr/lib/a.so.1", "mesa-libGL.i686"},
        {FAMILY_FEDORA, "file /lib/a.so.1 is not owned by any package\n", "/lib/a.so.1", ""},
        {FAMILY_ARCH, "/usr/lib/a.so.1 is owned by libglvnd 1.7.0-1\n", "/usr/lib/a.so.1", "libglvnd"},
    };
    for (const OwnerRow &row : rows)
        EXPECT_EQ(owner_of(row.family, row.output, asked, row.path), row.expected) << row.output;
    EXPECT_EQ(owner_query_paths("/lib/x/a.so.1", "/lib/x/a.so.1.2"),
              (std::vector<std::string>{"/lib/x/a.so.1", "/usr/lib/x/a.so.1", "/lib/x/a.so.1.2",
                                        "/usr/lib/x/a.so.1.2"}));
}

const char policy[] = "libgl1:i386:\n  Installed: (none)\n  Candidate: 1.3.2-1\n"
                      "libgl1:\n  Installed: (none)\n  Candidate: (none)\n"
                      "nosuch:i386:\n  Installed: (none)\n  Candidate: (none)\n";

TEST(ExplainAnswers, CandidateQueries) {
    EXPECT_TRUE(has_candidate(FAMILY_DEBIAN, policy, "libgl1:i386", "amd64"));
    EXPECT_FALSE(has_candidate(FAMILY_DEBIAN, policy, "libgl1:amd64", "amd64"));
    EXPECT_FALSE(has_candidate(FAMILY_DEBIAN, policy, "libgl1:i386", "i386"));
    EXPECT_FALSE(has_candidate(FAMILY_DEBIAN, policy, "nosuch:i386", "amd64"));
    EXPECT_FALSE(has_candidate(FAMILY_DEBIAN, "Candidate: 1\n", "libgl1:i386", "amd64"));
    EXPECT_TRUE(has_candidate(FAMILY_FEDORA, "mesa-libGL.i686\n", "mesa-libGL.i686", ""));
    EXPECT_TRUE(has_candidate(FAMILY_ARCH, "Repository      : multilib\nName            : lib32-libglvnd\n",
                              "lib32-libglvnd", ""));
    EXPECT_FALSE(has_candidate(FAMILY_SUSE, "Name: Mesa-libGL1-32bitx\n", "Mesa-libGL1-32bit", ""));
}

} // namespace
