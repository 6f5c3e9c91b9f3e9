// The GStreamer check's work in one process, for timing: GStreamer started
// as the check starts it, then one element made and released per row of the
// program's own plugin pack table. Run once before the benchmark, it also
// brings the registry of its word size up to date.
#include <gst/gst.h>

#include "checks/gstreamer/plugin_packs.h"

int main() {
    char program[] = "tarvek";
    char no_fork[] = "--gst-disable-registry-fork";
    char *arguments[] = {program, no_fork, nullptr};
    int count = 2;
    char **vector = arguments;
    if (!gst_init_check(&count, &vector, nullptr)) return 1;
    for (const PluginPack *pack = plugin_pack_table; pack->issue_id; ++pack)
        for (int i = 0; i < 8 && pack->elements[i]; ++i)
            if (GstElement *element = gst_element_factory_make(pack->elements[i], nullptr))
                gst_object_unref(element);
    return 0;
}
