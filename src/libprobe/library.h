// Loading outside libraries at run time, by soname, only ever in check
// children: the main process never maps a library it examines.
#pragma once

#include <dlfcn.h>

#include "isolate/run_isolated.h"

void *open_library(const char *soname);
int probe_library_load(const char *soname);
void check_library(const char *lib_id, const char *soname);
int check_library_alternatives(const char *lib_id, const char *missing_soname,
                               const char *const *candidates);

// The one place where a dlsym result becomes a typed function pointer.
template <typename Slot>
Slot slot_cast(void *address) {
    static_assert(sizeof(Slot) == sizeof(void *));
    Slot slot;
    __builtin_memcpy(&slot, &address, sizeof slot);
    return slot;
}

void *lookup_symbol(void *handle, const char *name, int *all_found);

// Binds one named entry point into a slot typed from the library's public
// header. An absent name is traced and clears *all_found; callers look up
// their whole list regardless, so every absent name shows in the trace.
template <typename Slot>
void bind_symbol(void *handle, const char *name, Slot *slot, int *all_found) {
    *slot = slot_cast<Slot>(lookup_symbol(handle, name, all_found));
}
