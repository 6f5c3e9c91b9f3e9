// The audio and GStreamer checks write their own findings from their
// children. When such a child breaks instead (a crash, a kill, its time
// limit), the driver says so after the whole sections the child wrote: a
// check that broke must not read as one that found nothing.
#pragma once

#include "isolate/run_isolated.h"

// Before any check starts: the memory the check children mark, shared with
// the main process.
void prepare_check_marks();

// What the sequence runs in place of check_audio and check_gstreamer: the
// check, with marks of how far its child got and how it ended.
int audio_check_body(const char *arg);
int gstreamer_check_body(const char *arg);

// After the outcome of one of those two: a broken child that ran gets the
// broken section of its library, and the trace says how it ended. A child
// that never ran (a refused fork) is the runner's to tell.
void report_broken_check(CheckFn body, TestOutcome outcome);
