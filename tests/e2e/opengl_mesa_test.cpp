// The OpenGL step of both programs against real Mesa (llvmpipe) of their own
// word size on real Xvfb servers: direct rendering at two depths, indirect
// rendering through the server, and Mesa with its drivers taken away.
#include <gtest/gtest.h>

#include "graphics_report.h"
#include "mesa_oracle.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

class OpenglMesa : public ProgramTest<ProgramUnderTest> {
  protected:
    RunOptions on(const XvfbServer &server) {
        RunOptions options;
        options.args = {"--debug"};
        options.set_env["DISPLAY"] = server.display();
        return options;
    }
    std::string display_sections(int depth) {
        return property_section("display.depth", std::to_string(depth)) +
               property_section("display.dpi", "-1.0") +
               (depth < 24 ? issue_section(GetParam(), "X11LowDepth") : "");
    }
    std::string setup_trace(int depth) {
        std::string bits = std::to_string(GetParam().bits);
        return "found " + bits +
               "-bit libX11.so.6\ndefault screen=0, planes=" + std::to_string(depth) + "\nfound " +
               bits + "-bit libX11.so.6\nfound " + bits + "-bit libGL.so.1\n";
    }
};

TEST_P(OpenglMesa, DirectRenderingReportsWhatMesaReports) {
    const auto &p = GetParam();
    for (int depth : {24, 16}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        XvfbServer server({.depth = depth});
        ASSERT_TRUE(server.running());
        GlAnswers mesa = query_gl(p, on(server));
        ASSERT_EQ(mesa["legacy.direct"], "1") << "the oracle found no direct Mesa context";
        ASSERT_EQ(mesa.count("core.made"), 1u) << "the oracle found no core context";
        // llvmpipe of this Mesa: a sanity check that the oracle saw real Mesa.
        EXPECT_NE(mesa["legacy.renderer"].find("llvmpipe"), std::string::npos);

        RunResult r = run_program(p, on(server));
        EXPECT_EQ(graphics_part(r.out),
                  display_sections(depth) + expected_opengl_sections(p, mesa, ""));
        EXPECT_EQ(graphics_trace(p, r.err),
                  setup_trace(depth) + "glXIsDirect() is true\n" + expected_string_trace(mesa));
        EXPECT_TRUE(parse_report(r.out).ok()) << parse_report(r.out).error;
        EXPECT_EQ(r.exit_code(), 0);
        // This llvmpipe makes a 4.5 core context with polygon-offset clamp.
        EXPECT_EQ(r.out.find("[OpenglNoD3D10"), std::string::npos);
        EXPECT_NE(r.out.find("\"opengl.core.version\"=\"4.5 (Core Profile) Mesa"),
                  std::string::npos);
    }
}

// Through the server, Mesa answers every string query with an empty string
// (and the shading-language one with null) and makes no core context.
TEST_P(OpenglMesa, IndirectRenderingIsNoDriWithTheDriSearchFirst) {
    const auto &p = GetParam();
    XvfbServer server({.depth = 24, .indirect_glx = true});
    ASSERT_TRUE(server.running());
    RunOptions options = on(server);
    options.set_env["LIBGL_ALWAYS_INDIRECT"] = "1";
    GlAnswers mesa = query_gl(p, options);
    ASSERT_EQ(mesa["legacy.direct"], "0");
    EXPECT_EQ(mesa["legacy.vendor"], "");

    RunResult r = run_program(p, options);
    DriExpectation dri = expected_dri_search(p.bits);
    ASSERT_TRUE(dri.found) << "this machine has Mesa's DRI drivers for " << p.bits << " bits";
    std::string expected = display_sections(24) + expected_opengl_sections(p, mesa, "");
    EXPECT_EQ(graphics_part(r.out), expected);
    // Mesa's answers here, spelled out as well as derived.
    EXPECT_EQ(expected,
              display_sections(24) + issue_section(p, "OpenglNoDRI") +
                  property_section("opengl.vendor", "") + property_section("opengl.version", "") +
                  property_section("opengl.renderer", "") +
                  property_section("opengl.glsl_version", "unsupported") +
                  property_section("opengl.extensions", "") +
                  issue_section(p, "OpenglNoTextureS3TC") +
                  issue_section(p, "OpenglNoTextureFloat") + issue_section(p, "OpenglNoGLSL130") +
                  issue_section(p, "OpenglNoD3D10"));
    EXPECT_EQ(graphics_trace(p, r.err), setup_trace(24) + dri.trace + expected_string_trace(mesa));
}

// With the drivers of its own word size gone, Mesa falls back to rendering
// through a server that allows it; the other word size's drivers, still in
// place, are never found.
TEST_P(OpenglMesa, WithoutDriversMesaFallsBackToIndirectAndNoDriverIsFound) {
    const auto &p = GetParam();
    if (!mount_namespaces_available()) GTEST_SKIP() << "needs root for private mount namespaces";
    ASSERT_TRUE(expected_dri_search(p.bits == 32 ? 64 : 32).found);
    XvfbServer server({.depth = 24, .indirect_glx = true});
    ASSERT_TRUE(server.running());
    const auto &own = dri_dirs(p.bits);
    GlAnswers mesa = query_gl(p, on(server), own);
    ASSERT_EQ(mesa["legacy.direct"], "0");

    RunResult r = run_with_empty_dirs(p, on(server), own);
    DriExpectation dri = expected_dri_search(p.bits, {own.begin(), own.end()});
    EXPECT_FALSE(dri.found);
    EXPECT_EQ(graphics_part(r.out),
              display_sections(24) +
                  expected_opengl_sections(p, mesa, issue_section(p, "MissingDriDrivers")));
    // Mesa's own complaints come first, on the same stream.
    EXPECT_NE(r.err.find("libGL error: failed to load driver: swrast"), std::string::npos);
    EXPECT_EQ(r.err.find("glXIsDirect() is true"), std::string::npos);
    EXPECT_NE(r.err.find(dri.trace + expected_string_trace(mesa)), std::string::npos) << r.err;
}

// Without indirect GLX on the server no context can be made at all: the
// check fails by itself, so there is no DRI search.
TEST_P(OpenglMesa, WithoutDriversOrIndirectGlxNoContextIsMade) {
    const auto &p = GetParam();
    if (!mount_namespaces_available()) GTEST_SKIP() << "needs root for private mount namespaces";
    XvfbServer server;
    ASSERT_TRUE(server.running());
    RunResult r = run_with_empty_dirs(p, on(server), dri_dirs(p.bits));
    EXPECT_EQ(graphics_part(r.out), display_sections(24) + issue_section(p, "OpenglNotWorking"));
    std::string trace = graphics_trace(p, r.err);
    EXPECT_EQ(trace.substr(0, setup_trace(24).size()), setup_trace(24));
    EXPECT_EQ(trace.substr(trace.size() - 26), "glXCreateContext() failed\n");
    EXPECT_EQ(trace.find("DRI drivers"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, OpenglMesa, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
