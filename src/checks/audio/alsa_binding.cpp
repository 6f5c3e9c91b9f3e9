// The process-wide ALSA slots and the names that fill them.
#include "checks/audio/alsa_binding.h"

AlsaFunctions alsa;
decltype(&::snd_lib_error_set_handler) alsa_set_error_handler;

// The last one is optional: no "Missing" line and no bearing on the verdict.
static constexpr auto alsa_slot_list =
    NAMED_SLOTS(ALSA_ENTRY_POINTS, alsa,
                named_slot("snd_lib_error_set_handler", &alsa_set_error_handler, true));
const std::span<const NamedSlot> alsa_slots = alsa_slot_list;
