// The audio and GStreamer checks write their own findings from their
// children. When such a child breaks instead (a crash, a kill, its time
// limit), the driver says so after the whole sections the child wrote: a
// check that broke must not read as one that found nothing.
#pragma once

// Runs the check (check_audio or check_gstreamer) and, when its child ran
// and broke, writes the broken section of its library and traces how the
// child ended. A child that never ran (a refused fork) is the runner's to
// tell.
void run_check_telling_breaks(int (*check)(const char *));
