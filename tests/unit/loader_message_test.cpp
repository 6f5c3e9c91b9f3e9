// The loader may have no message for a failed load: open_library must still
// write a whole trace line, never hand a null pointer to "%s".
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "capture.h"
#include "libprobe/library.h"
#include "report/report.h"

// Replaces the loader's dlerror for this test program: the message is gone.
extern "C" char *dlerror() noexcept { return nullptr; }

namespace {

TEST(LoaderMessage, NullMessageStillGivesOneTraceLine) {
    set_debug_enabled(1);
    StreamCapture err(stderr);
    EXPECT_EQ(open_library("libtarvek-no-such-library.so.0"), nullptr);
    EXPECT_EQ(err.text(), "(no message from the dynamic loader)\n");
    set_debug_enabled(0);
}

}  // namespace
