// The process-wide GStreamer slots and the names that fill them.
#include "checks/gstreamer/gstreamer_binding.h"

GstFunctions gst;

static constexpr auto gst_slot_list = NAMED_SLOTS(GST_ENTRY_POINTS, gst);
const std::span<const NamedSlot> gst_slots = gst_slot_list;
