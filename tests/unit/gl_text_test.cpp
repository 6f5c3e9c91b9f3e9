// The text side of the OpenGL check, without a display: extension lookup,
// version comparison, driver ages, the Direct3D 10 verdict and the core
// extension list builder.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "checks/graphics/gl_text.h"

namespace {

struct ExtensionCase {
    const char *list;
    const char *name;
    int found;
};

TEST(HasExtension, FindsWholeEntriesOnly) {
    const std::vector<ExtensionCase> cases = {
        {"GL_ARB_texture_float_linear GL_ARB_texture_float", "GL_ARB_texture_float", 1},
        {"GL_ARB_texture_float_linear", "GL_ARB_texture_float", 0},
        {"GL_ARB_texture_float GL_ARB_texture_float_linear", "GL_ARB_texture_float", 1},
        {"GL_A GL_B", "GL_B", 1},
        {"GL_A GL_B ", "GL_B", 1},
        {"GL_Ax GL_Ay GL_A", "GL_A", 1},
        {"GL_AGL_A", "GL_A", 1}, // the character before is not looked at
        {"XGL_A", "GL_A", 1},
        {"aaa", "aa", 0}, // the search resumes after each occurrence
        {"GL_A\tGL_B", "GL_A", 1},
        {"GL_A\nGL_B", "GL_A", 1},
        {"GL_A\vGL_B", "GL_A", 1},
        {"GL_A\fGL_B", "GL_A", 1},
        {"GL_A\rGL_B", "GL_A", 1},
        {"GL_A\xa0GL_B", "GL_A", 0}, // high-bit bytes are never whitespace
        {"GL_A\x85", "GL_A", 0},
        {"gl_a", "GL_A", 0},
        {"", "GL_A", 0},
        {nullptr, "GL_A", 0},
        {"GL_A", "", 0},
        {"GL_A", nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.list ? c.list : "(null)") + " / " +
                     (c.name ? c.name : "(null)"));
        EXPECT_EQ(has_extension(c.list, c.name), c.found);
    }
}

struct VersionCase {
    unsigned major, minor, want_major, want_minor;
    bool at_least;
};

TEST(VersionAtLeast, MajorDecidesThenMinorBySignedDifference) {
    const std::vector<VersionCase> cases = {
        {3, 2, 3, 2, true},
        {3, 3, 3, 2, true},
        {3, 1, 3, 2, false},
        {4, 0, 3, 3, true},
        {3, 3, 4, 6, false},
        {2, 99, 3, 0, false},
        {1, 50, 1, 50, true},
        {1, 5, 1, 50, false},
        {4, 60, 1, 50, true},
        {0, 0, 0, 0, true},
        {UINT_MAX, 0, 3, 2, false},    // "-1.0" read with %u
        {3, UINT_MAX, 3, 2, false},    // "3.-1"
        {0x80000003u, 0, 3, 2, false}, // the difference does not fit a signed 32-bit int
        {0x80000001u, 0, 1, 0, false},
        {0x7fffffffu, 0, 3, 2, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) +
                     " >= " + std::to_string(c.want_major) + "." + std::to_string(c.want_minor));
        EXPECT_EQ(version_at_least(c.major, c.minor, c.want_major, c.want_minor), c.at_least);
    }
}

struct VerdictCase {
    const char *version;
    const char *glsl;
    const char *extensions;
    bool capable;
};

constexpr const char *four_features =
    "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle GL_EXT_polygon_offset_clamp "
    "GL_ARB_sampler_objects";

TEST(D3D10Verdict, FollowsTheConditionTable) {
    const std::vector<VerdictCase> cases = {
        {"3.2 (Core Profile) Mesa", "1.50", four_features, true},
        {"3.2", "1.50",
         "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle GL_EXT_polygon_offset_clamp", false},
        {"3.2", "1.50",
         "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle GL_ARB_polygon_offset_clamp "
         "GL_ARB_sampler_objects",
         true},
        {"3.2", "1.50", "GL_ARB_texture_swizzle GL_EXT_polygon_offset_clamp GL_ARB_sampler_objects",
         false},
        {"3.2", "1.50",
         "GL_ARB_shader_bit_encoding GL_EXT_polygon_offset_clamp GL_ARB_sampler_objects", false},
        {"3.2", "1.50", "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle GL_ARB_sampler_objects",
         false},
        {"3.2", "1.50",
         "GL_ARB_shader_bit_encoding_x GL_ARB_texture_swizzle GL_EXT_polygon_offset_clamp "
         "GL_ARB_sampler_objects",
         false},
        {"3.3", "3.30", "GL_EXT_polygon_offset_clamp", true},
        {"3.3", "3.30", "", false},
        {"4.5 (Core Profile)", "4.50", "", false},
        {"4.5", "4.50", "GL_ARB_polygon_offset_clamp", true},
        {"4.6", "4.60", "", true},
        {"4.6", "4.60", nullptr, true},
        {"3.1", "1.40", four_features, false},
        {"3.3", "1.40", four_features, false},
        {"3.2", "1.5", four_features, false}, // minor 5, not 50
        {"3.2", "1.50 NVIDIA via Cg compiler", four_features, true},
        {"OpenGL 4.6", "4.60", "", false},
        {"4", "4.60", "", false},
        {"4.6", "4", "", false},
        {"4.6", "", "", false},
        {"", "4.60", "", false},
        {nullptr, "4.60", "", false},
        {"4.6", nullptr, "", false},
        {"-1.0", "4.60", four_features, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.version ? c.version : "(null)") + " / " +
                     (c.glsl ? c.glsl : "(null)") + " / " +
                     (c.extensions ? c.extensions : "(null)"));
        EXPECT_EQ(d3d10_verdict(c.version, c.glsl, c.extensions), c.capable);
    }
}

struct NvidiaCase {
    const char *version;
    int parsed;
    int major, minor;
    int outdated;
};

TEST(DriverAge, NvidiaNumberFollowsTheWordNvidia) {
    const std::vector<NvidiaCase> cases = {
        {"2.1.2 NVIDIA 169.09", 1, 169, 9, 1},
        {"2.1.2 NVIDIA 169.11", 1, 169, 11, 1},
        {"2.1.2 NVIDIA 169.12", 1, 169, 12, 0},
        {"4.6.0 NVIDIA 470.256.02", 1, 470, 256, 0},
        {"2.1.2 NVIDIA    96.43", 1, 96, 43, 1},
        {"1.5 NVIDIA-legacy 71.86", 1, 71, 86, 1},
        {"2.1.2 NVIDIA 170", 0, 0, 0, 0},
        {"2.1.2 NVIDIA x.1", 0, 0, 0, 0},
        {"2.1.2 NVIDIA", 0, 0, 0, 0},
        {"2.1.2 NVIDIA   ", 0, 0, 0, 0},
        {"2.1 Mesa 22.3", 0, 0, 0, 0},
        {"", 0, 0, 0, 0},
        {nullptr, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version ? c.version : "(null)");
        int major = 0, minor = 0;
        ASSERT_EQ(parse_nvidia_driver_version(c.version, &major, &minor), c.parsed);
        if (!c.parsed) continue;
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(nvidia_driver_outdated(major, minor), c.outdated);
    }
    EXPECT_EQ(nvidia_driver_outdated(168, 99), 1);
    EXPECT_EQ(nvidia_driver_outdated(170, 0), 0);
    EXPECT_EQ(nvidia_driver_outdated(-1, 50), 1);
}

struct FglrxCase {
    const char *version;
    int parsed;
    int gl_major, gl_minor, build;
    int outdated;
};

TEST(DriverAge, FglrxBuildIsTheThirdNumber) {
    const std::vector<FglrxCase> cases = {
        {"2.1.7275 Release", 1, 2, 1, 7275, 1},
        {"2.1.7276 Release", 1, 2, 1, 7276, 0},
        {"2.0.6958 Release", 1, 2, 0, 6958, 1},
        {"4.5.13399 Compatibility Profile Context 15.201.1151", 1, 4, 5, 13399, 0},
        {"2.1 Mesa 7.0", 0, 0, 0, 0, 0},
        {"2.1", 0, 0, 0, 0, 0},
        {"", 0, 0, 0, 0, 0},
        {nullptr, 0, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version ? c.version : "(null)");
        int major = 0, minor = 0, build = 0;
        ASSERT_EQ(parse_fglrx_version(c.version, &major, &minor, &build), c.parsed);
        if (!c.parsed) continue;
        EXPECT_EQ(major, c.gl_major);
        EXPECT_EQ(minor, c.gl_minor);
        EXPECT_EQ(build, c.build);
        EXPECT_EQ(fglrx_driver_outdated(build), c.outdated);
    }
}

// What the fake glGetStringi hands out, index by index.
std::vector<const char *> fake_names;

const GLubyte *fake_get_stringi(GLenum name, GLuint index) {
    if (name != GL_EXTENSIONS || index >= fake_names.size()) return nullptr;
    return reinterpret_cast<const GLubyte *>(fake_names[index]);
}

std::string built_list(GLint count) {
    char *list = build_extension_list(count, fake_get_stringi);
    if (!list) return "(allocation failed)";
    std::string text = list;
    free(list);
    return text;
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const auto &name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

TEST(ExtensionList, NamesInIndexOrderSeparatedBySingleBlanks) {
    fake_names = {"GL_A", "GL_B", "GL_C"};
    EXPECT_EQ(built_list(3), "GL_A GL_B GL_C");
    EXPECT_EQ(built_list(1), "GL_A");
    EXPECT_EQ(built_list(0), "");
    EXPECT_EQ(built_list(-1), "");
    fake_names = {""};
    EXPECT_EQ(built_list(1), "");
}

TEST(ExtensionList, NullNamesBelowTheCountAreLeftOut) {
    fake_names = {"GL_A", nullptr, "GL_B", nullptr};
    EXPECT_EQ(built_list(4), "GL_A GL_B");
    EXPECT_EQ(built_list(7), "GL_A GL_B"); // past the driver's own names: null too
    fake_names = {nullptr, nullptr};
    EXPECT_EQ(built_list(2), "");
}

TEST(ExtensionList, LongListsComeOutLikeShortOnes) {
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i)
        names.push_back("GL_EXT_generated_name_" + std::to_string(i));
    fake_names.clear();
    for (const auto &name : names)
        fake_names.push_back(name.c_str());
    std::string list = built_list(static_cast<GLint>(names.size()));
    EXPECT_GT(list.size(), 3 * 4096u);
    EXPECT_EQ(list, joined(names));

    // Exactly filling the first block, one byte more, and one name far larger.
    for (size_t length : {4095u, 4096u, 4097u, 70000u}) {
        std::string big(length, 'x');
        fake_names = {"GL_A", big.c_str(), "GL_B"};
        EXPECT_EQ(built_list(3), "GL_A " + big + " GL_B") << length;
        fake_names = {big.c_str()};
        EXPECT_EQ(built_list(1), big) << length;
    }
}

// Memory running out while the list grows gives no list at all, never a
// truncated one. Run in a child whose address space is capped.
TEST(ExtensionList, AllocationFailureGivesNoList) {
    std::string big(64u << 20, 'x');
    fake_names = {"GL_A", big.c_str()};
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit limit;
        getrlimit(RLIMIT_AS, &limit);
        long pages = 0;
        FILE *statm = fopen("/proc/self/statm", "r");
        if (!statm || fscanf(statm, "%ld", &pages) != 1) _exit(2);
        fclose(statm);
        limit.rlim_cur = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (16u << 20);
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        char *list = build_extension_list(2, fake_get_stringi);
        _exit(list == nullptr ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(built_list(2), "GL_A " + big); // without the cap it fits
}

} // namespace
