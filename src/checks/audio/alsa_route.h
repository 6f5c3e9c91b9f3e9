// Whether ALSA's default device reaches the PulseAudio server: by its type
// (PulseAudio's own plugin, or PipeWire's, which reaches the same server)
// and by the plugin module ALSA would load for it. The configuration files
// are shared by both word sizes; the modules are not, so a type can be
// configured for a word size that cannot open it.
#pragma once

#include <cstddef>

// A default of this type, its module present or not, goes through the server.
bool default_pcm_routed(const char *type, bool module_present);

// The module ALSA loads for a device type: libasound_module_pcm_TYPE.so in
// the alsa-lib folder beside the ALSA library loaded from libasound_path.
// Written to module; false, and module empty, when that path names no folder
// or the result does not fit in size bytes.
bool pcm_plugin_module_path(const char *libasound_path, const char *type, char *module,
                            size_t size);

// default_pcm_routed for the ALSA library this process has bound; a module
// whose file cannot be named counts as present. Traces a missing module.
bool default_pcm_type_routed(const char *type);

// The finding for a server that ALSA's default does not reach.
void report_not_routed();
