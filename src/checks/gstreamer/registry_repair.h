// A damaged GStreamer registry cache can make every later GStreamer start
// fail; the 32-bit program deletes such a file so GStreamer rebuilds it.
#pragma once

#include <cstddef>

// How much of a cache file is read; its last byte is always a terminator.
constexpr size_t registry_read_size = 1024;
// A file is taken as broken once this many markers have been counted.
constexpr int registry_broken_count = 9;

// Counts "BLACKLIST" markers in the bytes read from a cache file (at most
// registry_read_size of them are looked at), stopping at
// registry_broken_count. Any bytes and any length are safe.
int count_registry_markers(const char *data, size_t length);

void repair_gstreamer_registry();
