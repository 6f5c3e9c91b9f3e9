#include "mesa_oracle.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>

#include "graphics_report.h"

GlAnswers query_gl(const ProgramUnderTest &program, RunOptions options,
                   const std::vector<std::string> &emptied) {
    std::string path = fixture_path(program.bits, "gl_query");
    ProgramUnderTest oracle = {"gl_query", path.c_str(), program.bits, ""};
    options.args.clear();
    options.check_report = false;  // the oracle prints key=value lines, not a report
    RunResult r = emptied.empty() ? run_program(oracle, options)
                                  : run_with_empty_dirs(oracle, options, emptied);
    if (r.exit_code() != 0) return {};
    return parse_key_values(r.out);
}

const std::vector<std::string> &dri_dirs(int bits) {
    static const std::vector<std::string> dirs32 = {"/usr/lib/dri", "/usr/lib/i386-linux-gnu/dri"};
    static const std::vector<std::string> dirs64 = {"/usr/lib64/dri",
                                                    "/usr/lib/x86_64-linux-gnu/dri"};
    return bits == 32 ? dirs32 : dirs64;
}

DriExpectation expected_dri_search(int bits, const std::set<std::string> &emptied) {
    DriExpectation expected;
    for (const auto &path : dri_dirs(bits)) {
        expected.trace +=
            "checking for " + std::to_string(bits) + "-bit DRI drivers in " + path + "\n";
        DIR *dir = opendir(path.c_str());
        if (!dir) {
            expected.trace += std::string("-> could not open: ") + strerror(errno) + "\n";
            continue;
        }
        while (const dirent *entry = emptied.count(path) ? nullptr : readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() >= 7 && name.compare(name.size() - 7, 7, "_dri.so") == 0) {
                expected.trace += "-> found " + name + "\n";
                expected.found = true;
                break;
            }
        }
        closedir(dir);
        if (expected.found) break;
    }
    return expected;
}

static std::set<std::string> words(const std::string &text) {
    std::istringstream in(text);
    std::set<std::string> set;
    for (std::string word; in >> word;)
        set.insert(word);
    return set;
}

// The leading "major.minor" of a version text, if it has one.
static bool leading_pair(const std::string &text, unsigned *major, unsigned *minor) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("^(\\d+)\\.(\\d+)"))) return false;
    *major = static_cast<unsigned>(std::stoul(m[1]));
    *minor = static_cast<unsigned>(std::stoul(m[2]));
    return true;
}

static bool at_least(unsigned major, unsigned minor, unsigned want_major, unsigned want_minor) {
    return major > want_major || (major == want_major && minor >= want_minor);
}

static bool expected_d3d10(const GlAnswers &a) {
    if (!a.count("core.made")) return false;
    unsigned major, minor, glsl_major, glsl_minor;
    if (!leading_pair(a.at("core.version"), &major, &minor) || !at_least(major, minor, 3, 2))
        return false;
    if (!leading_pair(a.at("core.glsl_version"), &glsl_major, &glsl_minor) ||
        !at_least(glsl_major, glsl_minor, 1, 50))
        return false;
    std::set<std::string> ext = words(a.at("core.extensions"));
    bool v33 = at_least(major, minor, 3, 3);
    return (ext.count("GL_ARB_shader_bit_encoding") || v33) &&
           (ext.count("GL_ARB_texture_swizzle") || v33) &&
           (ext.count("GL_ARB_polygon_offset_clamp") || ext.count("GL_EXT_polygon_offset_clamp") ||
            at_least(major, minor, 4, 6)) &&
           (ext.count("GL_ARB_sampler_objects") || v33);
}

std::string expected_opengl_sections(const ProgramUnderTest &p, const GlAnswers &a,
                                     const std::string &dri_sections) {
    std::string out;
    if (a.at("legacy.direct") != "1") out += issue_section(p, "OpenglNoDRI") + dri_sections;
    std::set<std::string> ext = words(a.at("legacy.extensions"));
    std::string glsl =
        ext.count("GL_ARB_shading_language_100") ? a.at("legacy.glsl_version") : "unsupported";
    out += property_section("opengl.vendor", a.at("legacy.vendor"));
    out += property_section("opengl.version", a.at("legacy.version"));
    out += property_section("opengl.renderer", a.at("legacy.renderer"));
    out += property_section("opengl.glsl_version", glsl);
    out += property_section("opengl.extensions", a.at("legacy.extensions"));
    if (!ext.count("GL_EXT_texture_compression_s3tc"))
        out += issue_section(p, "OpenglNoTextureS3TC");
    if (!ext.count("GL_ARB_texture_float")) out += issue_section(p, "OpenglNoTextureFloat");
    unsigned major = 0, minor = 0;
    if (!leading_pair(glsl, &major, &minor) || !at_least(major, minor, 1, 30))
        out += issue_section(p, "OpenglNoGLSL130");
    if (a.count("core.made")) {
        out += property_section("opengl.core.vendor", a.at("core.vendor"));
        out += property_section("opengl.core.version", a.at("core.version"));
        out += property_section("opengl.core.renderer", a.at("core.renderer"));
        out += property_section("opengl.core.glsl_version", a.at("core.glsl_version"));
        out += property_section("opengl.core.extensions", a.at("core.extensions"));
    }
    if (!expected_d3d10(a)) out += issue_section(p, "OpenglNoD3D10");
    return out;
}

std::string expected_string_trace(const GlAnswers &a) {
    return "OpenGL vendor = '" + a.at("legacy.vendor") + "'\nOpenGL version = '" +
           a.at("legacy.version") + "'\nOpenGL renderer = '" + a.at("legacy.renderer") +
           "'\nOpenGL extensions = '" + a.at("legacy.extensions") + "'\n";
}

bool mount_namespaces_available() {
    return geteuid() == 0 && system("unshare -m --propagation private true >/dev/null 2>&1") == 0;
}

RunResult run_with_empty_dirs(const ProgramUnderTest &target, RunOptions options,
                              const std::vector<std::string> &dirs) {
    char pattern[] = "/tmp/tarvek-empty-dri-XXXXXX";
    std::string empty = mkdtemp(pattern);
    std::string script;
    for (const auto &dir : dirs) {
        struct stat st;
        if (stat(dir.c_str(), &st) == 0) script += "mount --bind " + empty + " " + dir + " && ";
    }
    script += "exec \"$0\" \"$@\"";
    std::vector<std::string> args = {"-m", "--propagation", "private",  "/bin/sh",
                                     "-c", script,          target.path};
    args.insert(args.end(), options.args.begin(), options.args.end());
    options.args = args;
    options.argv0 = "unshare";
    ProgramUnderTest wrapper = {target.name, "/usr/bin/unshare", target.bits, target.suffix};
    RunResult r = run_program(wrapper, options);
    rmdir(empty.c_str());
    return r;
}
