// Reading ALSA's own configuration to see where the default PCM device goes.
#pragma once

#include <alsa/asoundlib.h>

// Describes one configuration node on the debug trace, children by name.
void dump_config_node(const char *label, snd_config_t *node);

// Reports "NonPulseAudioAlsa" when the device ALSA opens as "default" does not
// reach the server, or cannot be resolved for want of a hook's module
// (alsa_route.h). Needs every ALSA slot bound.
void check_default_pcm_type();
