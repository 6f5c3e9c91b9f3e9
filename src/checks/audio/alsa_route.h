// Whether ALSA's default device reaches the PulseAudio server: by its type
// (PulseAudio's own plugin, or PipeWire's, which reaches the same server)
// and by the modules ALSA would load for it. The configuration files are
// shared by both word sizes; the modules are not, so a configuration can name
// for one word size what only the other can load.
#pragma once

#include <alsa/asoundlib.h>

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

// Whether a hook function of the configuration (hook_func.NAME.lib) lacks its
// module for this word size: ALSA skips such a hook where the file that uses
// it may fail, so what it would have made of the default (Debian's route to
// PulseAudio) is never made. Traces each missing module.
bool hook_module_missing(snd_config_t *config);

// The finding for a server that ALSA's default does not reach.
void report_not_routed();
