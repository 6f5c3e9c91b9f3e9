// What the package tools answer, read as data. Pure functions over the
// tools' output (LC_ALL=C), so that every answer a tool can give, garbage
// included, is a row of a test.
#pragma once

#include <string>
#include <vector>

#include "model/distro_family.h"

// The file the loader's cache (`ldconfig -p`) gives for a soname and word
// size, or empty. Only x86 libraries count: "(libc6,x86-64)" is 64-bit,
// "(libc6)" 32-bit; x32 and others are neither.
std::string cached_library_path(const std::string &ldconfig_output, const std::string &soname,
                                int bits);

// The paths to ask the owner query about for one file: itself, the file it
// links to, and on merged-/usr systems the same under /usr (the package
// database knows only the path the package shipped).
std::vector<std::string> owner_query_paths(const std::string &path, const std::string &resolved);

// The owner query and its arguments: dpkg -S, rpm -qf, pacman -Qo.
std::vector<std::string> owner_query(DistroFamily family, const std::vector<std::string> &paths);

// The package the owner query's output names for `path`, or empty.
// `paths` is what was asked, in order (rpm answers one line per file).
std::string owner_of(DistroFamily family, const std::string &output,
                     const std::vector<std::string> &paths, const std::string &path);

// The index query that tells whether packages have an installable
// candidate: apt-cache policy, dnf repoquery, pacman -Si, zypper info.
std::vector<std::string> candidate_query(DistroFamily family,
                                         const std::vector<std::string> &packages);

// Whether the candidate query's output confirms `package`. apt names the
// packages of the native architecture (`dpkg --print-architecture`) without it.
bool has_candidate(DistroFamily family, const std::string &output, const std::string &package,
                   const std::string &native_arch);
