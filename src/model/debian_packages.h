// The Debian packages that hold each library, plugin and plugin pack the
// report can name, for the releases whose archive they were checked against.
// Used only where the system itself cannot tell (no copy of the other word
// size to ask the package database about).
#pragma once

// Debian 11, 12 and 13, in that order.
inline constexpr int debian_release_count = 3;
extern const char *const debian_releases[debian_release_count]; // "11", "12", "13"

struct DebianPackageRow {
    const char *name; // the report's: "LibGL", "NonPulseAudioAlsa", "MissingGStreamer1Ugly"
    // Per release: the packages, space-separated (most rows have one), and
    // the file names that must be in them, space-separated: a soname, or the
    // GStreamer plugin of each element the pack is checked for.
    const char *packages[debian_release_count];
    const char *holds[debian_release_count];
};

extern const DebianPackageRow debian_package_table[];
extern const int debian_package_rows;

// The row's packages for a VERSION_ID, or null: no row, or another release.
const char *debian_packages_for(const char *name, const char *version_id);
