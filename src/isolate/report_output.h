// The report's way out. Only the main process writes the real standard
// output, from a private descriptor that no child keeps; descriptor 1 points
// at standard error instead, so whatever a library prints with printf or
// write(1) lands there and never inside the report. A check child writes its
// sections into a report channel of its own (channels.h).
#pragma once

#include <cstddef>

// Main process start-up: the report writer to a private copy of stdout,
// descriptor 1 to stderr; the C stderr through write_fully.
void open_report_output();

// In a child: the real stdout closed, stderr the C library's own again.
void drop_real_stdout();

// In a check child: the report writer to its report channel.
void write_report_to(int channel_fd);

// Flushes the report writer, the C stdout and stderr, so that nothing
// written so far is duplicated in a child's copy of the buffers.
void flush_output();

// Writes all of data, waiting while a non-blocking descriptor is full (never
// clearing O_NONBLOCK: the descriptor is shared with whoever gave it).
// Returns 0 or the error that stopped it.
int write_fully(int fd, const char *data, size_t size);

// Flushes the report. Returns 0 when every byte of it was written, else the
// error of the first write that failed.
int finish_report_output();
