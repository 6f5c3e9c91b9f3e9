// Reading what a GL driver says about itself: extension lists, version
// strings, driver ages and the Direct3D 10 verdict. Pure functions over text,
// callable without a display, so tests and fuzzers can drive them directly.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

int has_extension(const char *list, const char *name);

// The core profile's extensions as one blank-separated list, read name by
// name. Heap-allocated (the caller frees it); null when memory ran out.
char *build_extension_list(GLint count, PFNGLGETSTRINGIPROC get_stringi);

bool version_at_least(unsigned major, unsigned minor, unsigned want_major, unsigned want_minor);
bool d3d10_verdict(const char *version, const char *glsl_version, const char *extensions);

// 1 when the version string carries an NVIDIA driver number after "NVIDIA".
int parse_nvidia_driver_version(const char *version, int *major, int *minor);
int nvidia_driver_outdated(int major, int minor);
// 1 when the version string reads as GL major.minor.build of an fglrx driver.
int parse_fglrx_version(const char *version, int *gl_major, int *gl_minor, int *build);
int fglrx_driver_outdated(int build);
