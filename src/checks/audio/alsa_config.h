// Reading ALSA's own configuration to see where the default PCM device goes.
#pragma once

#include <alsa/asoundlib.h>

// Describes one configuration node on the debug trace, children by name.
void dump_config_node(const char *label, snd_config_t *node);

// Reports "NonPulseAudioAlsa" when ALSA cannot read its configuration, or the
// device it opens as "default" does not reach the server (alsa_route.h).
// Needs every ALSA slot bound.
void check_default_pcm_type();
