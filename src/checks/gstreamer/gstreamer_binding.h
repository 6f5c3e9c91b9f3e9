// The three GStreamer entry points the plugin pack check calls, bound by name
// from libgstreamer-1.0.so.0 in the check's child.
#pragma once

#include <gst/gst.h>

#include "libprobe/binding.h"

#define GST_ENTRY_POINTS(X) X(gst_init_check) X(gst_element_factory_make) X(gst_object_unref)

// Each slot stays null until bound, and when the library lacks the name.
struct GstFunctions {
    GST_ENTRY_POINTS(TYPED_SLOT)
};

extern GstFunctions gst;
// The names and slots that bind_library fills from the loaded library.
extern const std::span<const NamedSlot> gst_slots;
