// The X11 step of both programs on real Xvfb servers: depth, the Xft dpi
// resource through the server's own database, no display, a broken libX11,
// and a server that never answers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fixture_dir.h"
#include "graphics_report.h"
#include "program_test.h"
#include "report_parser.h"
#include "run_program.h"
#include "xvfb.h"

namespace {

class X11Display : public ProgramTest<ProgramUnderTest> {
  protected:
    // libGL is kept out, so the OpenGL step ends at once with its section.
    RunResult run_on(const std::string &display) {
        RunOptions options;
        options.args = {"--debug"};
        options.set_env["DISPLAY"] = display;
        options.blocked_sonames = {"libGL.so.1"};
        return run_program(GetParam(), options);
    }
    std::string found_x11() const {
        return "found " + std::to_string(GetParam().bits) + "-bit libX11.so.6\n";
    }
};

struct DpiCase {
    std::string resource; // xrdb input; empty: nothing merged
    std::string dpi;
};

// On one server the resource is set again and again: each merge replaces it.
TEST_P(X11Display, DepthAndDpiOfTheDefaultScreen) {
    const auto &p = GetParam();
    struct DepthCase {
        int depth;
        std::vector<DpiCase> dpis;
    };
    const std::vector<DepthCase> cases = {
        {24,
         {{"", "-1.0"},
          {"Xft.dpi: 96\n", "96.0"},
          {"Xft.dpi: 96.5\n", "96.5"},
          {"Xft.dpi: 144dpi\n", "144.0"},
          {"Xft.dpi: fast\n", "0.0"},
          {"Xft.dpi: -12.25\n", "-12.2"}}},
        {16, {{"", "-1.0"}, {"Xft.dpi: 96\n", "96.0"}}},
        {30, {{"", "-1.0"}}},
        {8, {{"Xft.dpi: 120\n", "120.0"}}},
    };
    for (const auto &c : cases) {
        XvfbServer server({.depth = c.depth});
        ASSERT_TRUE(server.running()) << "Xvfb at depth " << c.depth;
        for (const auto &d : c.dpis) {
            SCOPED_TRACE("depth " + std::to_string(c.depth) + ", resource '" + d.resource + "'");
            if (!d.resource.empty()) {
                ASSERT_TRUE(server.merge_resources(d.resource));
            }
            RunResult r = run_on(server.display());
            std::string expected = property_section("display.depth", std::to_string(c.depth)) +
                                   property_section("display.dpi", d.dpi) +
                                   (c.depth < 24 ? issue_section(p, "X11LowDepth") : "") +
                                   missing_library_section(p, "LibGL", "libGL.so.1");
            EXPECT_EQ(graphics_part(r.out), expected);
            EXPECT_TRUE(parse_report(r.out).ok()) << parse_report(r.out).error;
            EXPECT_EQ(graphics_trace(p, r.err),
                      found_x11() + "default screen=0, planes=" + std::to_string(c.depth) + "\n" +
                          found_x11() +
                          "libGL.so.1: cannot open shared object file: blocked by test\n");
            EXPECT_EQ(r.exit_code(), 0);
        }
    }
}

// A display number with no server behind it, on either transport.
std::string unused_display() {
    for (int n = 4321; n < 4400; ++n) {
        struct stat st;
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (stat(socket.c_str(), &st) != 0 && stat(lock.c_str(), &st) != 0)
            return std::string(":").append(std::to_string(n));
    }
    return ":4399";
}

TEST_P(X11Display, NoDisplayWritesNothingAndSkipsOpenGL) {
    const auto &p = GetParam();
    for (const char *display : {"", "unset", "nonsense"}) {
        RunOptions options;
        options.args = {"--debug"};
        std::string name = display;
        if (name == "unset")
            options.unset_env = {"DISPLAY"};
        else
            options.set_env["DISPLAY"] = name.empty() ? unused_display() : name;
        SCOPED_TRACE(name);
        RunResult r = run_program(p, options);
        EXPECT_EQ(graphics_part(r.out), "");
        EXPECT_EQ(graphics_trace(p, r.err), found_x11() + "XOpenDisplay failed\n");
        EXPECT_EQ(r.err.find("libGL"), std::string::npos);
        EXPECT_EQ(r.exit_code(), 0);
    }
}

TEST_P(X11Display, UnloadableLibX11IsMissingAndEndsTheGraphicsSteps) {
    const auto &p = GetParam();
    XvfbServer server;
    ASSERT_TRUE(server.running());
    RunOptions options;
    options.args = {"--debug"};
    options.set_env["DISPLAY"] = server.display();
    options.blocked_sonames = {"libX11.so.6"};
    RunResult r = run_program(p, options);
    EXPECT_EQ(graphics_part(r.out), missing_library_section(p, "LibX11", "libX11.so.6"));
    std::string loader = "libX11.so.6: cannot open shared object file: blocked by test\n";
    ASSERT_NE(r.err.find(loader), std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(r.err.find(loader)), loader);
}

TEST_P(X11Display, LibX11LackingXSyncAndXFreeIsMissing) {
    const auto &p = GetParam();
    XvfbServer server;
    ASSERT_TRUE(server.running());
    FixtureDir dir;
    dir.install("libX11.so.6", "x11_partial");
    RunOptions options;
    options.args = {"--debug"};
    options.set_env["DISPLAY"] = server.display();
    options.library_path = dir.library_path();
    RunResult r = run_program(p, options);
    EXPECT_EQ(graphics_part(r.out), missing_library_section(p, "LibX11", "libX11.so.6"));
    EXPECT_EQ(graphics_trace(p, r.err), found_x11() + "Missing XSync\nMissing XFree\n");
    EXPECT_TRUE(parse_report(r.out).ok()) << parse_report(r.out).error;
}

// A TCP "server" that takes the connection and never answers the set-up
// request: the real libX11 waits in XOpenDisplay until the watchdog ends it.
class SilentServer {
  public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        for (int n = 50; n < 64 && fd_ >= 0; ++n) {
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(6000 + n));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                listen(fd_, 4) == 0) {
                display_ = "127.0.0.1:" + std::to_string(n);
                return;
            }
        }
    }
    ~SilentServer() {
        if (fd_ >= 0) close(fd_);
    }
    const std::string &display() const { return display_; }

  private:
    int fd_ = -1;
    std::string display_;
};

TEST_P(X11Display, ServerThatNeverAnswersIsX11NotWorking) {
    const auto &p = GetParam();
    SilentServer server;
    ASSERT_FALSE(server.display().empty());
    RunResult r = run_on(server.display());
    EXPECT_EQ(graphics_part(r.out), issue_section(p, "X11NotWorking"));
    EXPECT_EQ(graphics_trace(p, r.err), found_x11() + "Wait for test child timed out\n");
    EXPECT_GE(r.seconds, 5.0);
    EXPECT_LT(r.seconds, 15.0);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, X11Display, ::testing::ValuesIn(programs_under_test()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
