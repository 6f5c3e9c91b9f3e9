// The ALSA configuration interface, bound by name from libasound.so.2 in the
// audio check's child: the program never links the library it examines.
#pragma once

#include <alsa/asoundlib.h>

#include "libprobe/binding.h"

// Binding order: alphabetical, as the trace lists absent names.
#define ALSA_ENTRY_POINTS(X)                                                                       \
    X(snd_config)                                                                                  \
    X(snd_config_copy)                                                                             \
    X(snd_config_delete)                                                                           \
    X(snd_config_get_id)                                                                           \
    X(snd_config_get_string)                                                                       \
    X(snd_config_get_type)                                                                         \
    X(snd_config_iterator_end)                                                                     \
    X(snd_config_iterator_entry)                                                                   \
    X(snd_config_iterator_first)                                                                   \
    X(snd_config_iterator_next)                                                                    \
    X(snd_config_search)                                                                           \
    X(snd_config_search_definition)                                                                \
    X(snd_config_update)

// snd_config is the library's variable, not a function: its slot holds the
// variable's address, so the tree is read as it stands when it is used.
struct AlsaFunctions {
    ALSA_ENTRY_POINTS(TYPED_SLOT)
};

extern AlsaFunctions alsa;

// Not needed for the check: where it is absent, ALSA keeps its own error
// output. Null until bound.
extern decltype(&::snd_lib_error_set_handler) alsa_set_error_handler;

// The names and slots that bind_library fills from the loaded library.
extern const std::span<const NamedSlot> alsa_slots;
