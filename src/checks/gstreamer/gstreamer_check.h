// Whether GStreamer 1.0 of this word size starts, and whether each plugin
// pack provides the elements that media playback needs.
#pragma once

#include "checks/gstreamer/plugin_packs.h"

void check_plugin_pack(const PluginPack *pack);
int check_gstreamer(const char *arg);
