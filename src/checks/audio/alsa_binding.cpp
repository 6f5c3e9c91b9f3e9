// Fills the process-wide ALSA slots from a loaded libasound.so.2.
#include "checks/audio/alsa_binding.h"

#include "libprobe/library.h"

AlsaFunctions alsa;

int bind_alsa(void *handle) {
    int all_found = 1;
#define ALSA_BIND(name) bind_symbol(handle, #name, &alsa.name, &all_found);
    ALSA_ENTRY_POINTS(ALSA_BIND)
#undef ALSA_BIND
    return all_found;
}
