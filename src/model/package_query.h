// Package tools (ldconfig, dpkg, apt-cache, rpm, dnf, pacman, zypper) are
// outside programs: run by argument vector, never through a shell, with
// stdin from /dev/null, LC_ALL=C, their output bounded and their time too
// (a locked package database must not hold the run).
#pragma once

#include <string>
#include <vector>

// Runs argv[0] (searched in PATH unless it holds a '/') with argv and waits
// for it, at most `seconds`. True when it ran and exited by itself, whatever
// its status: its standard output is in *output. False with *problem saying
// why not ("did not start: No such file or directory", "did not answer
// within 5 s", "was killed by signal 9", "printed more than 8 MiB"), written
// for the end of a sentence.
bool run_query(const std::vector<std::string> &argv, int seconds, std::string *output,
               std::string *problem);

// Most tools answer at once; an index without its cache file (removed by
// `apt-get clean`, not writable by a user) is rebuilt in memory first, which
// takes seconds on a busy machine.
inline constexpr int query_seconds = 5;
inline constexpr int index_query_seconds = 15;
