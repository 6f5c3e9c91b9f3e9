// A child's private channels: a check's report sections, and its stderr
// with whatever its libraries print, each go into a sealed memory file that
// the main process copies out after the check, in sequence order, so the
// child never stalls on a full pipe; where memory files cannot be had (a
// filter, a kernel before 3.17), and for a program's output, into a pipe the
// main process drains into memory, bounded alike. They sit at high
// descriptor numbers, out of the way of a library writing to low ones.
#pragma once

#include <string>

#include "report/output.h"

// Library output kept per check. Far above what any check prints at the
// libraries' usual levels (the GStreamer check at GST_DEBUG=4 prints some
// 45 KB), small enough that every record the runner holds at once (96)
// together stays within a few hundred MiB even if each one floods.
constexpr long long captured_output_bound = 2LL << 20;

// What came through a pipe, kept up to its bound.
struct Drained {
    char *data;
    long long kept, total, bound;
};

// A memory file is one descriptor both sides use; a pipe has two ends.
struct Channels {
    int report = -1; // none for a check that writes no sections
    int err = -1;
    int report_in = -1, err_in = -1; // what the child writes into
    Drained *report_drained = nullptr, *err_drained = nullptr;
    ChannelTally *tally = nullptr; // a check's only
};

// False when no channel could be made.
bool open_check_channels(Channels *channels, bool with_report);
// A program's standard output in `report`, its standard error (when asked
// for) in `err`, each kept up to bound.
bool open_program_channels(Channels *channels, long long bound, bool with_errors);
void close_channels(Channels *channels);
// Closes them and leaves the record as it is (in a forked child, whose
// pages are its parent's until written).
void close_channel_descriptors(const Channels &channels);

// After the fork, a pipe's write ends are the child's alone; what is in the
// pipes is taken without waiting; their read ends go to the loop's wait.
void release_child_ends(Channels *channels);
void drain_channels(Channels *channels);
int channel_read_ends(const Channels &channels, int *fds);

// In the check child: descriptors 1 and 2 to the stderr channel, the report
// writer to the report channel.
void enter_channels(const Channels &channels);

enum ChannelFate {
    CHANNELS_OWN,        // the report channel holds what the check wrote
    CHANNELS_TAKEN,      // a library closed it, wrote into it or replaced it
    CHANNELS_UNWRITABLE, // the check could not write it (a file-size limit, say)
};

// The bytes written into a channel: a memory file's position (the main
// process reads with pread and never moves it), or all that came through a
// pipe.
off_t written_length(int fd, const Drained *drained);

// After the check; the error of an unwritable channel in *error.
ChannelFate channel_fate(const Channels &channels, int *error);

// In the main process, after the check: its sections to the report, its
// stderr to stderr. Of a check that did not end as checks end, only whole
// sections of the report are copied; from every child, only whole lines of
// stderr, at most captured_output_bound bytes, with a line telling how much
// was dropped.
void copy_channels_out(const Channels &channels, bool whole_sections_only);

// A program's output as it was kept; true when more came than the bound.
bool take_drained(const Drained *drained, std::string *text);
