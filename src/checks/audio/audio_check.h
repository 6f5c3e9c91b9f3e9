// Whether the sound stack of this word size is complete and routed through a
// running PulseAudio server.
#pragma once

int check_audio(const char *arg);
