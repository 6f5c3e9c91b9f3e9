// The report's way out. Only the main process writes the real standard
// output, from a private descriptor that no child keeps; descriptor 1 points
// at standard error instead, so whatever a library prints with printf or
// write(1) lands there and never inside the report. A check child writes its
// sections into a report channel of its own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// Main process start-up: the report writer to a private copy of stdout,
// descriptor 1 to stderr; the C stderr through write_fully.
void open_report_output();

// How a write that may block goes, given by the runner: `write` may fail
// with EINTR when a termination signal came during it (and not return, when
// the signal ends the run); `wait_writable` waits until fd takes more bytes.
// Without them, write(2) and poll(2).
struct OutputWaits {
    ssize_t (*write)(int fd, const void *data, size_t size);
    void (*wait_writable)(int fd);
};
void set_output_waits(const OutputWaits &waits);

// In a child: the real stdout closed (or kept, unbuffered, for a check that
// writes its report itself), stderr the C library's own again.
void drop_real_stdout(bool keep_report);

// What a check child did with its report channel, kept in memory it shares
// with the main process: a library may end the child, close the channel or
// put another file in its place, and the main process must tell which.
struct ChannelTally {
    long long written; // bytes of whole sections that went into it
    int error;         // of the first write that failed
    int taken;         // at the check's end it was no longer the file written
    int trace_lost;    // a write to stderr, its other channel, failed
};

// In a check child: the report writer to its report channel, unbuffered, so
// that no section waits in a buffer a library's forked child would inherit.
// That child, and every other the check child forks, loses the channel.
void write_report_to(int channel_fd, ChannelTally *tally);

// In a check child after its check: whether the channel is still its own,
// and whether its stderr channel took every line.
void check_report_channel();

// Flushes the report writer, the C stdout and stderr, so that nothing
// written so far is duplicated in a child's copy of the buffers.
void flush_output();

// Writes all of data, waiting while a non-blocking descriptor is full (it is
// shared with whoever gave it: never made blocking). 0 or the error.
int write_fully(int fd, const char *data, size_t size);

// In the main process: the report cannot be written in full (a check's
// channel could not take its sections); the rest is dropped.
void fail_report_output(int error);

// Flushes the report. Returns 0 when every byte of it was written, else the
// error of the first write that failed.
int finish_report_output();

// In the main process, before the checks: the report goes into memory
// instead of to stdout, for a document made from it. False without memory.
bool keep_report_in_memory();

// A check without channels writes straight to the report, which a report
// kept in memory cannot take from another process: it is then not whole.
void note_report_bypassed();

// Ends that: the report written so far into *report, the stream back to
// stdout. False when the report could not be kept whole.
bool take_kept_report(std::string *report);
