// The process-wide ALSA slots and the names that fill them.
#include "checks/audio/alsa_binding.h"

AlsaFunctions alsa;
decltype(&::snd_lib_error_set_handler) alsa_set_error_handler;

#define ALSA_NAMED_SLOT(name) named_slot(#name, &alsa.name),
static const NamedSlot alsa_slot_list[] = {
    ALSA_ENTRY_POINTS(ALSA_NAMED_SLOT)
    // Optional: no "Missing" line and no bearing on the verdict.
    named_slot("snd_lib_error_set_handler", &alsa_set_error_handler, true),
};
#undef ALSA_NAMED_SLOT
const std::span<const NamedSlot> alsa_slots = alsa_slot_list;
