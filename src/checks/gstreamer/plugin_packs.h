// The plugin packs and the elements media playback needs from each, in the
// order their issues appear in the report.
#pragma once

struct PluginPack {
    const char *issue_id; // null only in the row that ends the table
    const char *pack_name;
    const char *elements[8]; // element factory names, ended by the first null
};

extern const PluginPack plugin_pack_table[];
