// A check child's private channels: its report sections, and its standard
// error with whatever its libraries print, each go into an anonymous memory
// file that the main process copies out after the check, in sequence order.
// Files, not pipes: the child never stalls on a full pipe, and the main
// process reads what is there without waiting for an end of file that a
// library's daemon, holding the write end, might never give.
#pragma once

struct Channels {
    int report = -1;
    int err = -1;
};

// False when no channel could be made.
bool open_channels(Channels *channels);
void close_channels(Channels *channels);
// Closes them and leaves the record as it is (a forked child must not write
// to the pages it shares with its parent until it needs them).
void close_channel_descriptors(const Channels &channels);

// In the check child: descriptors 1 and 2 to the stderr channel, the report
// writer to the report channel.
void enter_channels(const Channels &channels);

// In the main process, after the check: its sections to the report, its
// stderr to stderr. Of a child that died, only whole sections of the report
// and whole lines of stderr are copied, so that what follows starts on a
// line of its own and the front end never reads a cut line.
void copy_channels_out(const Channels &channels, bool child_died);
