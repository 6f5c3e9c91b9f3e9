// /proc/PID/stat, read by the main process to find its children's parents
// and to see whether a child is at work.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Reads /proc/PID/stat into text and returns what follows the process name
// (which may hold anything, blanks and ')' included), or null.
const char *proc_stat_after_name(const char *pid, char *text, size_t size);

// The parent of a process, or -1 when /proc cannot tell.
pid_t proc_parent(pid_t pid);
