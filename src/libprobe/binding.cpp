// The one place where a looked-up address becomes a typed pointer.
#include "libprobe/binding.h"

#include <dlfcn.h>

#include <cstring>

#include "report/report.h"

int bind_library(void *handle, std::span<const NamedSlot> slots) {
    int all_found = 1;
    for (const NamedSlot &entry : slots) {
        void *address = dlsym(handle, entry.name);
        // Every slot is pointer-sized (named_slot checks it); copying the
        // bytes is the defined way to make a function pointer from dlsym's.
        memcpy(entry.slot, &address, sizeof address);
        if (address || entry.optional) continue;
        debug_trace("Missing %s\n", entry.name);
        all_found = 0;
    }
    return all_found;
}
