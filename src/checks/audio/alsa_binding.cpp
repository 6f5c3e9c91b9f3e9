// The process-wide ALSA slots and the names that fill them.
#include "checks/audio/alsa_binding.h"

AlsaFunctions alsa;

#define ALSA_NAMED_SLOT(name) named_slot(#name, &alsa.name),
static const NamedSlot alsa_slot_list[] = {ALSA_ENTRY_POINTS(ALSA_NAMED_SLOT)};
#undef ALSA_NAMED_SLOT
const std::span<const NamedSlot> alsa_slots = alsa_slot_list;
