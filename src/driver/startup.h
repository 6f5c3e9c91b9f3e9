// Process state the program cannot trust from whoever started it, and the
// end of the run.
#pragma once

// First thing in main: standard descriptors, descriptor limit, signals, the
// report's way out, and the adoption of what libraries leave behind.
void start_process();

// Last thing in main: ends every descendant and flushes the report. Returns
// the exit status: `status`, or 1 (with a message) when the report could not
// be written in full.
int finish_process(int status);
