// The search for DRI driver files of this build's word size. It only lists
// directories, so it may run in the main process as well as in a child.
#pragma once

extern const char *const dri_dirs_32[];
extern const char *const dri_dirs_64[];

// 1 as soon as a directory of the null-terminated list holds a name ending
// in "_dri.so"; traces every directory it tries.
int search_dri_dirs(const char *const *dirs);
void find_dri_drivers();
