// Fills the process-wide GStreamer slots from a loaded libgstreamer-1.0.
#include "checks/gstreamer/gstreamer_binding.h"

#include "libprobe/library.h"

GstFunctions gst;

int bind_gstreamer(void *handle) {
    int all_found = 1;
#define GST_BIND(name) bind_symbol(handle, #name, &gst.name, &all_found);
    GST_ENTRY_POINTS(GST_BIND)
#undef GST_BIND
    return all_found;
}
