// The three GStreamer entry points the plugin pack check calls, bound by name
// from libgstreamer-1.0.so.0 in the check's child.
#pragma once

#include <gst/gst.h>

#define GST_ENTRY_POINTS(X) X(gst_init_check) X(gst_element_factory_make) X(gst_object_unref)

// Each slot stays null until bound, and when the library lacks the name.
struct GstFunctions {
#define GST_SLOT(name) decltype(&::name) name;
    GST_ENTRY_POINTS(GST_SLOT)
#undef GST_SLOT
};

extern GstFunctions gst;

// Looks up every name, absent ones included; 1 when all were found.
int bind_gstreamer(void *handle);
