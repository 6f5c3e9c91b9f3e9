// The GStreamer check, run in its own child: registry repair, GStreamer's
// start, then one factory call per element of each pack. The packs are tried
// on every path, so a missing GStreamer still names what each pack must give.
#include "checks/gstreamer/gstreamer_check.h"

#include <cstdio>

#include "checks/gstreamer/gstreamer_binding.h"
#include "checks/gstreamer/plugin_scanner.h"
#include "checks/gstreamer/registry_repair.h"
#include "libprobe/library.h"
#include "report/report.h"
#include "target/target.h"

// Made and released at once: at most one element exists at a time.
static bool make_element(const PluginPack *pack, const char *name) {
    if (!gst.gst_element_factory_make) return false;
    GstElement *element = gst.gst_element_factory_make(name, nullptr);
    if (!element) return false;
    debug_trace("found %d-bit %s GStreamer plugin %s\n", target_bits, pack->pack_name, name);
    if (gst.gst_object_unref) gst.gst_object_unref(element);
    return true;
}

// One issue per pack, naming its first missing element. Without --debug the
// first miss ends the pack; with it every element is tried and traced.
void check_plugin_pack(const PluginPack *pack) {
    bool reported = false;
    for (int i = 0; i < 8 && pack->elements[i]; ++i) {
        const char *name = pack->elements[i];
        if (make_element(pack, name)) continue;
        debug_trace("could not instantiate %s in the %s %d-bit GStreamer plugins pack\n", name,
                    pack->pack_name, target_bits);
        if (!reported) {
            char title[1024];
            snprintf(title, sizeof title, "The %s %d-bit GStreamer plugins appear to be missing %s",
                     pack->pack_name, target_bits, name);
            report_issue(pack->issue_id, title);
            reported = true;
        }
        if (!is_debug_enabled()) return;
    }
}

// GStreamer may rewrite the count and vector it is given, so both are the
// check's own writable storage. The fixed word keeps GStreamer's view of
// the program the same however it was started. A GStreamer that will not
// start is as missing as one that will not load.
static void start_gstreamer() {
    if (!open_or_report_missing_library("LibGstreamer1", "libgstreamer-1.0.so.0", gst_slots))
        return;
    char program[] = "tarvek";
    char no_fork[] = "--gst-disable-registry-fork";
    char *arguments[] = {program, no_fork, nullptr};
    // Scanned as applications scan, where the helper for it is there.
    if (registry_scan_in_helper(reinterpret_cast<void *>(gst.gst_init_check)))
        arguments[1] = nullptr;
    int count = arguments[1] ? 2 : 1;
    char **vector = arguments;
    GError *error = nullptr; // neither read nor freed: the child ends soon
    if (!gst.gst_init_check(&count, &vector, &error)) {
        debug_trace("gst_init_check() failed\n");
        report_missing_library("LibGstreamer1", "libgstreamer-1.0.so.0");
    }
}

int check_gstreamer(const char *) {
    // Before GStreamer is loaded: it would read a damaged cache at start.
    repair_gstreamer_registry();
    start_gstreamer();
    for (const PluginPack *pack = plugin_pack_table; pack->issue_id; ++pack)
        check_plugin_pack(pack);
    return 1;
}
