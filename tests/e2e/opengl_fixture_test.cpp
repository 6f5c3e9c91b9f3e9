// The OpenGL step against a fake libGL.so.1 steered by the test, for what
// real Mesa cannot show: other vendors, failing queries and requests, absent
// entry points, crashes. X11 stays real: a real Xvfb and the real libX11.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "fixture_dir.h"
#include "graphics_report.h"
#include "mesa_oracle.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

using Env = std::map<std::string, std::string>;
using Sections = std::function<std::string(const ProgramUnderTest &)>;

const std::string fake_vendor = "Fake GL Vendor";
const std::string fake_version = "2.1 Fake GL";
const std::string fake_renderer = "Fake GL Renderer";
const std::string fake_extensions =
    "GL_ARB_shading_language_100 GL_EXT_texture_compression_s3tc GL_ARB_texture_float";

std::string legacy(const std::string &vendor = fake_vendor,
                   const std::string &version = fake_version, const std::string &glsl = "1.30",
                   const std::string &extensions = fake_extensions,
                   const std::string &renderer = fake_renderer) {
    return property_section("opengl.vendor", vendor) + property_section("opengl.version", version) +
           property_section("opengl.renderer", renderer) +
           property_section("opengl.glsl_version", glsl) +
           property_section("opengl.extensions", extensions);
}

std::string core(const std::string &version = "4.6 (Core Profile) Fake GL",
                 const std::string &glsl = "4.60",
                 const std::string &extensions = "GL_ARB_sampler_objects",
                 const std::string &vendor = "Fake GL Core Vendor",
                 const std::string &renderer = "Fake GL Core Renderer") {
    return property_section("opengl.core.vendor", vendor) +
           property_section("opengl.core.version", version) +
           property_section("opengl.core.renderer", renderer) +
           property_section("opengl.core.glsl_version", glsl) +
           property_section("opengl.core.extensions", extensions);
}

struct FakeCase {
    std::string name;
    Env env;
    Sections sections;                         // what follows the display sections
    std::vector<std::string> trace_lines = {}; // in this order in the trace
    std::vector<std::string> log = {};         // the fake's log, exactly, when given
};

class OpenglFixture : public ProgramTest<ProgramUnderTest> {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(server_.running());
        dir_.install("libGL.so.1", "fake_gl");
        log_path_ = dir_.root() + "/requests.log";
    }
    RunResult run(const Env &env) {
        unlink(log_path_.c_str());
        RunOptions options;
        options.args = {"--debug"};
        options.set_env = env;
        options.set_env["DISPLAY"] = server_.display();
        options.set_env["FAKE_GL_LOG"] = log_path_;
        options.library_path = dir_.library_path();
        return run_program(GetParam(), options);
    }
    std::vector<std::string> log() {
        std::ifstream in(log_path_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    void check(const FakeCase &c) {
        const auto &p = GetParam();
        SCOPED_TRACE(c.name);
        RunResult r = run(c.env);
        std::string display =
            property_section("display.depth", "24") + property_section("display.dpi", "-1.0");
        EXPECT_EQ(graphics_part(r.out), display + c.sections(p));
        EXPECT_TRUE(parse_report(r.out).ok()) << parse_report(r.out).error;
        std::string trace = graphics_trace(p, r.err);
        size_t at = 0;
        for (const auto &line : c.trace_lines) {
            size_t found = trace.find(line, at);
            EXPECT_NE(found, std::string::npos) << "'" << line << "' in order in:\n" << trace;
            if (found != std::string::npos) at = found + line.size();
        }
        if (!c.log.empty()) {
            EXPECT_EQ(log(), c.log);
        }
        EXPECT_EQ(r.exit_code(), 0);
    }
    XvfbServer server_;
    FixtureDir dir_;
    std::string log_path_;
};

std::string issue(const ProgramUnderTest &p, const char *id) { return issue_section(p, id); }

TEST_P(OpenglFixture, DriverAgeByVendor) {
    const std::vector<FakeCase> cases = {
        {"old NVIDIA",
         {{"FAKE_GL_VENDOR", "NVIDIA Corporation"}, {"FAKE_GL_VERSION", "2.1.2 NVIDIA 169.09"}},
         [](auto &p) {
             return legacy("NVIDIA Corporation", "2.1.2 NVIDIA 169.09") +
                    issue(p, "OpenglOutdatedNvidia") + core();
         },
         {"OpenGL version = '2.1.2 NVIDIA 169.09'\n", "NVIDIA version 169.9\n"}},
        {"NVIDIA 169.12",
         {{"FAKE_GL_VENDOR", "NVIDIA Corporation"}, {"FAKE_GL_VERSION", "2.1.2 NVIDIA 169.12"}},
         [](auto &) { return legacy("NVIDIA Corporation", "2.1.2 NVIDIA 169.12") + core(); },
         {"NVIDIA version 169.12\n"}},
        {"NVIDIA 470",
         {{"FAKE_GL_VENDOR", "NVIDIA Corporation"}, {"FAKE_GL_VERSION", "4.6.0 NVIDIA 470.256.02"}},
         [](auto &) { return legacy("NVIDIA Corporation", "4.6.0 NVIDIA 470.256.02") + core(); },
         {"NVIDIA version 470.256\n"}},
        {"NVIDIA vendor, version without the word",
         {{"FAKE_GL_VENDOR", "NVIDIA Corporation"}, {"FAKE_GL_VERSION", "2.1 Mesa 7.0"}},
         [](auto &) { return legacy("NVIDIA Corporation", "2.1 Mesa 7.0") + core(); },
         {}},
        {"old fglrx",
         {{"FAKE_GL_VENDOR", "ATI Technologies Inc."}, {"FAKE_GL_VERSION", "2.1.7275 Release"}},
         [](auto &p) {
             return legacy("ATI Technologies Inc.", "2.1.7275 Release") +
                    issue(p, "OpenglOutdatedAmd") + core();
         },
         {"Fglrx version 7275 (OpenGL 2.1)\n"}},
        {"fglrx 7276",
         {{"FAKE_GL_VENDOR", "ATI Technologies Inc."}, {"FAKE_GL_VERSION", "2.1.7276 Release"}},
         [](auto &) { return legacy("ATI Technologies Inc.", "2.1.7276 Release") + core(); },
         {"Fglrx version 7276 (OpenGL 2.1)\n"}},
        {"ATI vendor, two-field version",
         {{"FAKE_GL_VENDOR", "ATI Technologies Inc."}, {"FAKE_GL_VERSION", "2.1 Mesa"}},
         [](auto &) { return legacy("ATI Technologies Inc.", "2.1 Mesa") + core(); },
         {}},
        {"both vendor words: NVIDIA only",
         {{"FAKE_GL_VENDOR", "NVIDIA and ATI Technologies"},
          {"FAKE_GL_VERSION", "2.1.7275 Release"}},
         [](auto &) { return legacy("NVIDIA and ATI Technologies", "2.1.7275 Release") + core(); },
         {}},
    };
    for (const auto &c : cases)
        check(c);
    // Neither driver line where the vendor or the version does not fit.
    for (const Env &env : {cases[3].env, cases[6].env, cases[7].env}) {
        RunResult r = run(env);
        EXPECT_EQ(r.err.find("NVIDIA version"), std::string::npos);
        EXPECT_EQ(r.err.find("Fglrx version"), std::string::npos);
    }
}

TEST_P(OpenglFixture, ShadingLanguageAndCapabilities) {
    const std::string no_glsl_ext = "GL_EXT_texture_compression_s3tc GL_ARB_texture_float";
    const std::vector<FakeCase> cases = {
        {"rejected with GL_INVALID_ENUM after earlier errors",
         {{"FAKE_GL_GLSL_ERROR", "0x500"}, {"FAKE_GL_PENDING_ERRORS", "3"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "1.0.51") + issue(p, "OpenglNoGLSL130") +
                    core();
         },
         {}},
        {"another error",
         {{"FAKE_GL_GLSL_ERROR", "0x502"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "error") + issue(p, "OpenglNoGLSL130") +
                    core();
         },
         {}},
        {"earlier errors only: drained, not counted",
         {{"FAKE_GL_PENDING_ERRORS", "5"}, {"FAKE_GL_GLSL", "1.40"}},
         [](auto &) { return legacy(fake_vendor, fake_version, "1.40") + core(); },
         {}},
        {"no shading-language extension: not queried",
         {{"FAKE_GL_EXTENSIONS", no_glsl_ext}, {"FAKE_GL_GLSL_ERROR", "0x502"}},
         [=](auto &p) {
             return legacy(fake_vendor, fake_version, "unsupported", no_glsl_ext) +
                    issue(p, "OpenglNoGLSL130") + core();
         },
         {}},
        {"1.20",
         {{"FAKE_GL_GLSL", "1.20"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "1.20") + issue(p, "OpenglNoGLSL130") +
                    core();
         },
         {}},
        {"1.5 is minor 5",
         {{"FAKE_GL_GLSL", "1.5"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "1.5") + issue(p, "OpenglNoGLSL130") + core();
         },
         {}},
        {"4.60 NVIDIA",
         {{"FAKE_GL_GLSL", "4.60 NVIDIA"}},
         [](auto &) { return legacy(fake_vendor, fake_version, "4.60 NVIDIA") + core(); },
         {}},
        {"only prefixes of the texture extensions",
         {{"FAKE_GL_EXTENSIONS", "GL_ARB_shading_language_100 GL_ARB_texture_float_linear "
                                 "GL_EXT_texture_compression_s3tc_srgb"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "1.30",
                           "GL_ARB_shading_language_100 GL_ARB_texture_float_linear "
                           "GL_EXT_texture_compression_s3tc_srgb") +
                    issue(p, "OpenglNoTextureS3TC") + issue(p, "OpenglNoTextureFloat") + core();
         },
         {}},
        {"every legacy string null",
         {{"FAKE_GL_VENDOR", "<null>"},
          {"FAKE_GL_VERSION", "<null>"},
          {"FAKE_GL_RENDERER", "<null>"},
          {"FAKE_GL_EXTENSIONS", "<null>"}},
         [](auto &p) {
             return legacy("", "", "unsupported", "", "") + issue(p, "OpenglNoTextureS3TC") +
                    issue(p, "OpenglNoTextureFloat") + issue(p, "OpenglNoGLSL130") + core();
         },
         {"OpenGL vendor = ''\nOpenGL version = ''\nOpenGL renderer = ''\nOpenGL extensions = "
          "''\n"}},
        {"null shading-language version",
         {{"FAKE_GL_GLSL", "<null>"}},
         [](auto &p) {
             return legacy(fake_vendor, fake_version, "") + issue(p, "OpenglNoGLSL130") + core();
         },
         {}},
    };
    for (const auto &c : cases)
        check(c);
}

TEST_P(OpenglFixture, IndirectRenderingRunsTheDriSearchInTheChild) {
    DriExpectation dri = expected_dri_search(GetParam().bits);
    ASSERT_TRUE(dri.found);
    for (const char *direct : {"0", "2"}) { // only exactly True is direct
        check({std::string("glXIsDirect ") + direct,
               {{"FAKE_GL_DIRECT", direct}},
               [](auto &p) { return issue(p, "OpenglNoDRI") + legacy() + core(); },
               {dri.trace + "OpenGL vendor = 'Fake GL Vendor'\n"}});
    }
}

std::string many_names(int n) {
    std::string list;
    for (int i = 0; i < n; ++i)
        list += (i ? " " : "") + std::string("GL_FAKE_extension_number_") + std::to_string(i);
    return list;
}

TEST_P(OpenglFixture, CoreProfileAndTheDirect3D10Verdict) {
    const std::string four = "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle "
                             "GL_EXT_polygon_offset_clamp GL_ARB_sampler_objects";
    const std::string three = "GL_ARB_shader_bit_encoding GL_ARB_texture_swizzle "
                              "GL_EXT_polygon_offset_clamp";
    const std::string long_list = many_names(300);
    ASSERT_GT(long_list.size(), 4096u);
    const std::vector<FakeCase> cases = {
        {"3.2 with the four extensions",
         {{"FAKE_GL_CORE_MAX", "3.2"},
          {"FAKE_GL_CORE_GLSL", "1.50"},
          {"FAKE_GL_CORE_EXTENSIONS", four}},
         [=](auto &) { return legacy() + core("3.2 (Core Profile) Fake GL", "1.50", four); },
         {}},
        {"3.2 without sampler objects",
         {{"FAKE_GL_CORE_MAX", "3.2"},
          {"FAKE_GL_CORE_GLSL", "1.50"},
          {"FAKE_GL_CORE_EXTENSIONS", three}},
         [=](auto &p) {
             return legacy() + core("3.2 (Core Profile) Fake GL", "1.50", three) +
                    issue(p, "OpenglNoD3D10");
         },
         {}},
        {"4.5 without polygon-offset clamp",
         {{"FAKE_GL_CORE_MAX", "4.5"},
          {"FAKE_GL_CORE_GLSL", "4.50"},
          {"FAKE_GL_CORE_EXTENSIONS", "GL_ARB_sampler_objects"}},
         [](auto &p) {
             return legacy() + core("4.5 (Core Profile) Fake GL", "4.50") +
                    issue(p, "OpenglNoD3D10");
         },
         {}},
        {"4.5 with the ARB clamp",
         {{"FAKE_GL_CORE_MAX", "4.5"},
          {"FAKE_GL_CORE_GLSL", "4.50"},
          {"FAKE_GL_CORE_EXTENSIONS", "GL_ARB_polygon_offset_clamp"}},
         [](auto &) {
             return legacy() +
                    core("4.5 (Core Profile) Fake GL", "4.50", "GL_ARB_polygon_offset_clamp");
         },
         {}},
        {"4.6 with no extensions at all",
         {{"FAKE_GL_NUM_EXTENSIONS", "0"}},
         [](auto &) { return legacy() + core("4.6 (Core Profile) Fake GL", "4.60", ""); },
         {}},
        {"3.1: never capable",
         {{"FAKE_GL_CORE_MAX", "3.1"},
          {"FAKE_GL_CORE_GLSL", "1.40"},
          {"FAKE_GL_CORE_EXTENSIONS", four}},
         [=](auto &p) {
             return legacy() + core("3.1 (Core Profile) Fake GL", "1.40", four) +
                    issue(p, "OpenglNoD3D10");
         },
         {}},
        {"version text that does not start with numbers",
         {{"FAKE_GL_CORE_VERSION", "OpenGL 4.6"}},
         [](auto &p) { return legacy() + core("OpenGL 4.6") + issue(p, "OpenglNoD3D10"); },
         {}},
        {"an extension list longer than the first buffer",
         {{"FAKE_GL_CORE_EXTENSIONS", long_list}},
         [=](auto &) { return legacy() + core("4.6 (Core Profile) Fake GL", "4.60", long_list); },
         {}},
        {"null names below the count are left out",
         {{"FAKE_GL_CORE_EXTENSIONS", "GL_A <null> GL_B"}, {"FAKE_GL_NUM_EXTENSIONS", "5"}},
         [](auto &) { return legacy() + core("4.6 (Core Profile) Fake GL", "4.60", "GL_A GL_B"); },
         {}},
        {"null core strings",
         {{"FAKE_GL_CORE_VERSION", "<null>"},
          {"FAKE_GL_CORE_GLSL", "<null>"},
          {"FAKE_GL_CORE_VENDOR", "<null>"},
          {"FAKE_GL_CORE_RENDERER", "<null>"}},
         [](auto &p) {
             return legacy() + core("", "", "GL_ARB_sampler_objects", "", "") +
                    issue(p, "OpenglNoD3D10");
         },
         {}},
        {"core context current with a result other than True",
         {{"FAKE_GL_CORE_MAKE_CURRENT", "2"}},
         [](auto &) { return legacy() + core(); },
         {}},
    };
    for (const auto &c : cases)
        check(c);
}

std::string request(int major, int minor) {
    std::string line = "request config=0 share=(nil) direct=1 0x2091=" + std::to_string(major) +
                       " 0x2092=" + std::to_string(minor);
    if (major > 3 || (major == 3 && minor > 1)) line += " 0x9126=1";
    return line;
}

std::vector<std::string> requests_down_to(int major, int minor) {
    static const int versions[][2] = {{4, 6}, {4, 5}, {4, 4}, {4, 3}, {4, 2}, {4, 1},
                                      {4, 0}, {3, 3}, {3, 2}, {3, 1}, {3, 0}};
    std::vector<std::string> lines;
    for (const auto &v : versions) {
        lines.push_back(request(v[0], v[1]));
        if (v[0] == major && v[1] == minor) break;
    }
    return lines;
}

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::string> legacy_log = {"create legacy share=(nil) direct=1",
                                             "make-current legacy drawable=window",
                                             "make-current none drawable=none"};
const std::vector<std::string> core_cleanup_log = {
    "make-current core drawable=window", "make-current none drawable=none", "destroy core"};

TEST_P(OpenglFixture, ContextRequestsNewestFirstUntilOneIsMade) {
    const std::vector<FakeCase> cases = {
        {"4.6 at once",
         {},
         [](auto &) { return legacy() + core(); },
         {},
         concat({legacy_log, requests_down_to(4, 6), core_cleanup_log})},
        {"3.3 and nothing newer",
         {{"FAKE_GL_CORE_MAX", "3.3"}},
         // 3.3 has everything but the polygon-offset clamp, and it is not listed.
         [](auto &p) {
             return legacy() + core("3.3 (Core Profile) Fake GL") + issue(p, "OpenglNoD3D10");
         },
         {},
         concat({legacy_log, requests_down_to(3, 3), core_cleanup_log})},
        {"3.0: no profile attribute for 3.1 and 3.0",
         {{"FAKE_GL_CORE_MAX", "3.0"}},
         [](auto &p) {
             return legacy() + core("3.0 (Core Profile) Fake GL") + issue(p, "OpenglNoD3D10");
         },
         {},
         concat({legacy_log, requests_down_to(3, 0), core_cleanup_log})},
        {"every request refused with an X error",
         {{"FAKE_GL_CORE_MAX", "none"}, {"FAKE_GL_REFUSE_WITH_X_ERROR", "1"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         concat({legacy_log, requests_down_to(3, 0)})},
        {"made but not current: nothing older is tried",
         {{"FAKE_GL_CORE_MAKE_CURRENT", "0"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         concat({legacy_log, requests_down_to(4, 6), {"make-current core drawable=window"}})},
        {"no GLX_ARB_create_context, only a longer name",
         {{"FAKE_GL_GLX_EXTENSIONS", "GLX_ARB_create_context_profile GLX_EXT_visual_info"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         legacy_log},
        {"no glXCreateContextAttribsARB",
         {{"FAKE_GL_NO_PROC", "glXCreateContextAttribsARB"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         legacy_log},
        {"no glGetStringi",
         {{"FAKE_GL_NO_PROC", "glGetStringi"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         legacy_log},
        {"no framebuffer configuration",
         {{"FAKE_GL_FBCONFIG", "null"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         legacy_log},
        {"an empty configuration list that is not null",
         {{"FAKE_GL_FBCONFIG", "empty"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNoD3D10"); },
         {},
         legacy_log},
    };
    for (const auto &c : cases)
        check(c);
}

TEST_P(OpenglFixture, SetupFailuresAreOpenglNotWorkingOnce) {
    const std::vector<FakeCase> cases = {
        {"no visual",
         {{"FAKE_GL_CHOOSE_VISUAL", "null"}},
         [](auto &p) { return issue(p, "OpenglNotWorking"); },
         {"glXChooseVisual() failed\n"}},
        {"no context",
         {{"FAKE_GL_CREATE_CONTEXT", "null"}},
         [](auto &p) { return issue(p, "OpenglNotWorking"); },
         {"glXCreateContext() failed\n"}},
        {"not current",
         {{"FAKE_GL_MAKE_CURRENT", "0"}},
         [](auto &p) { return issue(p, "OpenglNotWorking"); },
         {"glXMakeCurrent() failed\n"}},
        {"current with a result other than True",
         {{"FAKE_GL_MAKE_CURRENT", "2"}},
         [](auto &p) { return issue(p, "OpenglNotWorking"); },
         {"glXMakeCurrent() failed\n"}},
    };
    for (const auto &c : cases) {
        check(c);
        // The failure is the last thing traced: no DRI search follows.
        RunResult r = run(c.env);
        std::string trace = graphics_trace(GetParam(), r.err);
        EXPECT_EQ(trace.substr(trace.size() - c.trace_lines[0].size()), c.trace_lines[0]);
    }
}

TEST_P(OpenglFixture, LibGLLackingTwoEntryPointsIsMissingThenNotWorking) {
    const auto &p = GetParam();
    dir_.install("libGL.so.1", "fake_gl_partial");
    RunResult r = run({});
    EXPECT_EQ(graphics_part(r.out),
              property_section("display.depth", "24") + property_section("display.dpi", "-1.0") +
                  missing_library_section(p, "LibGL", "libGL.so.1") + issue(p, "OpenglNotWorking"));
    std::string bits = std::to_string(p.bits);
    EXPECT_EQ(graphics_trace(p, r.err),
              "found " + bits + "-bit libX11.so.6\ndefault screen=0, planes=24\nfound " + bits +
                  "-bit libX11.so.6\nfound " + bits +
                  "-bit libGL.so.1\nMissing glXChooseFBConfig\nMissing glXGetProcAddress\n");
}

TEST_P(OpenglFixture, UnloadableLibGLIsMissingOnly) {
    const auto &p = GetParam();
    RunOptions options;
    options.set_env["DISPLAY"] = server_.display();
    options.blocked_sonames = {"libGL.so.1"};
    RunResult r = run_program(p, options);
    EXPECT_EQ(graphics_part(r.out), property_section("display.depth", "24") +
                                        property_section("display.dpi", "-1.0") +
                                        missing_library_section(p, "LibGL", "libGL.so.1"));
}

// A crash ends the child, which keeps the sections it had written, each
// whole; the driver then reports OpenGL as not working and runs the DRI
// search itself.
TEST_P(OpenglFixture, CrashIsNotWorkingFollowedByTheDriSearchInTheMainProcess) {
    DriExpectation dri = expected_dri_search(GetParam().bits);
    ASSERT_TRUE(dri.found);
    const std::vector<FakeCase> cases = {
        {"crash making the legacy context",
         {{"FAKE_GL_CREATE_CONTEXT", "crash"}},
         [](auto &p) { return issue(p, "OpenglNotWorking"); },
         {"found " + std::to_string(GetParam().bits) + "-bit libGL.so.1\n" + dri.trace}},
        {"crash making a core context",
         {{"FAKE_GL_CREATE_CORE", "crash"}},
         [](auto &p) { return legacy() + issue(p, "OpenglNotWorking"); },
         {"OpenGL extensions = '" + fake_extensions + "'\n" + dri.trace}},
    };
    for (const auto &c : cases) {
        check(c);
        RunResult r = run(c.env);
        std::string trace = graphics_trace(GetParam(), r.err);
        EXPECT_EQ(trace.substr(trace.size() - dri.trace.size()), dri.trace);
    }
}

// The same with the drivers of the program's own word size gone: the issue
// from the main process follows the driver's own, and the other word size's
// drivers, still there, are not taken for ours.
TEST_P(OpenglFixture, CrashWithoutDriversGivesMissingDriDriversAfterNotWorking) {
    const auto &p = GetParam();
    if (!mount_namespaces_available()) GTEST_SKIP() << "needs root for private mount namespaces";
    ASSERT_TRUE(expected_dri_search(p.bits == 32 ? 64 : 32).found);
    RunOptions options;
    options.args = {"--debug"};
    options.set_env["DISPLAY"] = server_.display();
    options.set_env["FAKE_GL_CREATE_CONTEXT"] = "crash";
    options.library_path = dir_.library_path();
    const auto &own = dri_dirs(p.bits);
    RunResult r = run_with_empty_dirs(p, options, own);
    EXPECT_EQ(graphics_part(r.out),
              property_section("display.depth", "24") + property_section("display.dpi", "-1.0") +
                  issue(p, "OpenglNotWorking") + issue(p, "MissingDriDrivers"));
    std::string trace = graphics_trace(p, r.err);
    std::string dri = expected_dri_search(p.bits, {own.begin(), own.end()}).trace;
    EXPECT_EQ(trace.substr(trace.size() - dri.size()), dri);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, OpenglFixture, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
