// GStreamer's plugin scanner helper of this word size, looked for as
// GStreamer itself looks for it. A registry scan in the helper survives a
// plugin that crashes when loaded (GStreamer blacklists the plugin and the
// others stay usable, as every application finds them); a scan in the
// check's own process dies with that plugin.
#pragma once

// In the GStreamer check's child, once libgstreamer-1.0.so.0 is loaded:
// whether GStreamer may scan its registry in the helper (the helper is an
// executable of this word size, and GST_REGISTRY_FORK does not say no).
// `gstreamer_function` is any function of the loaded library: its file
// tells where the installed helper is.
bool registry_scan_in_helper(void *gstreamer_function);
