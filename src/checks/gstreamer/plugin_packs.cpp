// Constant data only, kept apart from the check so the tests can read it.
#include "checks/gstreamer/plugin_packs.h"

// Rows 4 and 5 both test mpg123audiodec: the front end knows the decoder
// under an issue of its own as well as within the pack.
const PluginPack plugin_pack_table[] = {
    {"MissingGStreamer1Bad2", "gst-plugins-bad", {"h264parse", "mpeg4videoparse"}},
    {"MissingGStreamer1Base2",
     "gst-plugins-base",
     {"audioconvert", "oggdemux", "videoconvert", "vorbisdec"}},
    {"MissingGStreamer1Good2",
     "gst-plugins-good",
     {"avidemux", "flacdec", "jpegdec", "matroskademux", "vp9dec"}},
    {"MissingGStreamer1Ugly", "gst-plugins-ugly", {"asfdemux", "mpg123audiodec"}},
    {"MissingGStreamer1Mpg123audiodec", "gst-plugins-ugly", {"mpg123audiodec"}},
    {"MissingGStreamer1Libav",
     "gst-libav",
     {"avdec_eac3", "avdec_h264", "avdec_vp9", "avdec_wmav2", "avdec_wmv3"}},
    {nullptr, nullptr, {}},
};
