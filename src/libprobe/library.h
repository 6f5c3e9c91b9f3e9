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
