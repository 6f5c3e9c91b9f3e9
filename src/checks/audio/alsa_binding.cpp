// Fills the process-wide ALSA slots from a loaded libasound.so.2.
#include "checks/audio/alsa_binding.h"

#include "libprobe/library.h"

AlsaFunctions alsa;
decltype(&::snd_lib_error_set_handler) alsa_set_error_handler;

int bind_alsa(void *handle) {
    int all_found = 1;
#define ALSA_BIND(name) bind_symbol(handle, #name, &alsa.name, &all_found);
    ALSA_ENTRY_POINTS(ALSA_BIND)
#undef ALSA_BIND
    // Optional: no "Missing" line and no bearing on the verdict.
    alsa_set_error_handler =
        slot_cast<decltype(alsa_set_error_handler)>(dlsym(handle, "snd_lib_error_set_handler"));
    return all_found;
}
