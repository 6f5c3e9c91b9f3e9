// The OpenGL check as the driver runs it: setup, the legacy-context half, the
// core-profile half and the Direct3D 10 verdict, in one isolated child.
#include "checks/graphics/graphics_checks.h"
#include "checks/graphics/opengl.h"
#include "checks/graphics/x11_display.h"
#include "report/report.h"

// Said by the child when its setup fails after libGL loaded, and by the
// driver when the child broke.
void report_opengl_not_working() { report_issue("OpenglNotWorking", "OpenGL does not work"); }

int check_opengl(const char *) {
    OpenglSetup setup = init_opengl();
    if (!setup.ready) {
        // Before libGL loaded, the missing-library section says it all.
        if (setup.libgl_loaded) report_opengl_not_working();
        return 0;
    }
    probe_legacy_context(setup.legacy_context);
    bool d3d10_capable = probe_core_profile(setup.window);
    x11.XDestroyWindow(x11_display, setup.window);
    x11.XCloseDisplay(x11_display);
    if (!d3d10_capable)
        report_issue("OpenglNoD3D10",
                     "The OpenGL capabilities are insufficient for Direct3D 10 support");
    return 1;
}
