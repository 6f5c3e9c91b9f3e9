// Whether GStreamer 1.0 of this word size starts, and whether each plugin
// pack provides the elements that media playback needs.
#pragma once

struct PluginPack {
    const char *issue_id; // null only in the row that ends the table
    const char *pack_name;
    const char *elements[8]; // element factory names, ended by the first null
};

extern const PluginPack plugin_pack_table[];

void check_plugin_pack(const PluginPack *pack);
int check_gstreamer(const char *arg);
