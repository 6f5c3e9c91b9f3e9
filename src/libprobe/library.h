// Loading outside libraries at run time, by soname, only ever in check
// children: the main process never maps a library it examines.
#pragma once

#include <dlfcn.h>

#include "isolate/run_isolated.h"
#include "libprobe/binding.h"

void *open_library(const char *soname);
// In a check's own child: the library opened and every slot bound, or null
// with the library reported missing under lib_id (it did not load, or lacks
// a required name). *loaded, when asked, tells the two apart. The handle
// stays open until the child ends: the slots point into it.
void *open_or_report_missing_library(const char *lib_id, const char *soname,
                                     std::span<const NamedSlot> slots = {}, bool *loaded = nullptr);
int probe_library_load(const char *soname);
void check_library(const char *lib_id, const char *soname);
int check_library_alternatives(const char *lib_id, const char *missing_soname,
                               const char *const *candidates);
