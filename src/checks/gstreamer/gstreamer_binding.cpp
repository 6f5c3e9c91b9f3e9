// The process-wide GStreamer slots and the names that fill them.
#include "checks/gstreamer/gstreamer_binding.h"

GstFunctions gst;

#define GST_NAMED_SLOT(name) named_slot(#name, &gst.name),
static const NamedSlot gst_slot_list[] = {GST_ENTRY_POINTS(GST_NAMED_SLOT)};
#undef GST_NAMED_SLOT
const std::span<const NamedSlot> gst_slots = gst_slot_list;
