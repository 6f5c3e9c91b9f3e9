// Where memory files cannot be had (memfd_create refused by a filter, or a
// kernel before 3.17), a channel is a pipe that the main process drains
// into memory as the check writes, bounded as a memory file is; no file
// system is needed.
#pragma once

#include <sys/types.h>

struct Drained {
    char *data;
    long long kept;  // bytes in data
    long long total; // bytes the check wrote, those past the bound included
    long long bound;
};

// The read end (non-blocking) in *read_end, the write end in *write_end.
bool open_pipe_channel(int *read_end, int *write_end, Drained **drained, long long bound);
// Takes what is there now, without waiting.
void drain_pipe(int read_end, Drained *drained);
void free_drained(Drained *drained);
// Up to size bytes at offset at, from what was kept.
ssize_t read_drained(const Drained *drained, char *buffer, size_t size, off_t at);
