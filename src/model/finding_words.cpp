// Constant data: the sentences of the explanation. The plugin packs' are
// made from the check's own table, so that they name what it looks for.
#include "model/finding_words.h"

#include <cstring>

const char *const group_titles[GROUP_COUNT] = {"Graphics", "Sound", "Multimedia", "System",
                                               "Other libraries"};

namespace {

const char no_window[] = "{bits} programs cannot open a window";
const char no_opengl[] = "{bits} programs cannot draw with OpenGL";
const char x_feature[] = "{bits} programs lose a feature of the X server";
const char fonts[] = "{bits} programs cannot draw text with the system's fonts";
const char no_sound[] = "{bits} programs have no sound";
const char network[] = "{bits} programs cannot make secure or directory connections";
const char startup[] = "{bits} programs that need it do not start";
const char gl_advice[] = "Install or update the graphics driver for {bits} programs.";

const FindingWords words_table[] = {
    {"X11NotWorking", GROUP_GRAPHICS, 0,
     "The X11 display crashes or hangs when used: {bits} programs cannot open a window.",
     "Check that DISPLAY names a running X server that accepts this user."},
    {"LibX11", GROUP_GRAPHICS, 1, no_window, nullptr},
    {"OpenglNotWorking", GROUP_GRAPHICS, 2,
     "OpenGL crashes or hangs when used: {bits} programs cannot draw with OpenGL.", gl_advice},
    {"LibGL", GROUP_GRAPHICS, 2, no_opengl, nullptr},
    {"MissingDriDrivers", GROUP_GRAPHICS, 3,
     "No DRI drivers are installed: OpenGL has no driver for the graphics card.", nullptr},
    {"OpenglNoDRI", GROUP_GRAPHICS, 4,
     "OpenGL renders indirectly, without the graphics card's driver: it is slow.", gl_advice},
    {"LibVulkan", GROUP_GRAPHICS, 5, "Vulkan is not available to {bits} programs", nullptr},
    {"OpenglOutdatedNvidia", GROUP_GRAPHICS, 6, "The NVIDIA OpenGL driver is outdated.",
     "Install a newer NVIDIA driver."},
    {"OpenglOutdatedAmd", GROUP_GRAPHICS, 6, "The AMD OpenGL driver is outdated.",
     "Install a newer AMD driver."},
    {"OpenglNoD3D10", GROUP_GRAPHICS, 7,
     "OpenGL lacks what Direct3D 10 and newer need: such games do not run.", gl_advice},
    {"OpenglNoGLSL130", GROUP_GRAPHICS, 8,
     "OpenGL's shading language is older than 1.30: newer games do not run.", gl_advice},
    {"OpenglNoTextureS3TC", GROUP_GRAPHICS, 9,
     "OpenGL has no S3TC compressed textures: many games draw wrongly or not at all.", gl_advice},
    {"OpenglNoTextureFloat", GROUP_GRAPHICS, 9,
     "OpenGL has no floating point textures: some games draw wrongly.", gl_advice},
    {"X11LowDepth", GROUP_GRAPHICS, 9,
     "The X11 screen has fewer than 24 bits of colour: colours and some games break.",
     "Set the X server's default depth to 24."},
    {"LibFreetype", GROUP_GRAPHICS, 10, fonts, nullptr},
    {"LibFontconfig", GROUP_GRAPHICS, 10, fonts, nullptr},
    {"LibXext", GROUP_GRAPHICS, 11, x_feature, nullptr},
    {"LibXrandr", GROUP_GRAPHICS, 11, "{bits} programs cannot change display modes", nullptr},
    {"LibXrender", GROUP_GRAPHICS, 11, x_feature, nullptr},
    {"LibXi", GROUP_GRAPHICS, 11, "{bits} programs lose mouse and keyboard input features",
     nullptr},
    {"LibXcursor", GROUP_GRAPHICS, 12, "{bits} programs cannot show their own cursors", nullptr},
    {"LibXinerama", GROUP_GRAPHICS, 12, "{bits} programs cannot tell monitors apart", nullptr},
    {"LibXcomposite", GROUP_GRAPHICS, 12, x_feature, nullptr},
    {"LibXfixes", GROUP_GRAPHICS, 12, x_feature, nullptr},
    {"LibXxf86vm", GROUP_GRAPHICS, 12, "{bits} programs cannot change display modes", nullptr},
    {"LibOsmesa82", GROUP_GRAPHICS, 13, "{bits} programs cannot draw off screen", nullptr},
    {"LibAsound", GROUP_SOUND, 1, no_sound, nullptr},
    {"LibAsoundMidi", GROUP_SOUND, 1, no_sound, nullptr},
    {"LibPulse", GROUP_SOUND, 2, "{bits} programs cannot play through PulseAudio", nullptr},
    {"NonPulseAudioAlsa", GROUP_SOUND, 3,
     "ALSA does not go through PulseAudio: sound of {bits} programs bypasses the sound server.",
     nullptr},
    {"LibOpenal", GROUP_SOUND, 4, "{bits} programs have no 3D sound (OpenAL)", nullptr},
    {"LibGstreamer1", GROUP_MULTIMEDIA, 1, "{bits} programs cannot play audio or video files",
     nullptr},
    {"LibV4l2", GROUP_MULTIMEDIA, 3, "{bits} programs cannot use webcams", nullptr},
    {"BrokenLDT16", GROUP_SYSTEM, 1,
     "The kernel refuses 16-bit segments: 16-bit Windows programs and some installers fail.",
     "Nothing to install: it needs a kernel built with 16-bit segment support."},
    {"BadRlimitAS", GROUP_SYSTEM, 2,
     "The address space is limited: large programs fail to start.",
     "Raise the limit (ulimit -v unlimited) in the shell that starts them."},
    {"PthreadCancelNotWorking", GROUP_SYSTEM, 3,
     "Thread cancellation does not work for {bits} programs: some hang when they end.",
     "Reinstall the C library of that word size."},
    {"LibPthread", GROUP_SYSTEM, 3, startup, nullptr},
    {"LibGcc_s", GROUP_SYSTEM, 4, startup, nullptr},
    {"LibStdc", GROUP_SYSTEM, 4, startup, nullptr},
    {"LibCrypt", GROUP_SYSTEM, 5, startup, nullptr},
    {"LibResolv", GROUP_SYSTEM, 5, "{bits} programs cannot look up host names", nullptr},
    {"LibNsl", GROUP_SYSTEM, 6, startup, nullptr},
    {"LibGmp", GROUP_SYSTEM, 6, startup, nullptr},
    {"LibUnwind2", GROUP_SYSTEM, 6, startup, nullptr},
    {"LibUdev", GROUP_SYSTEM, 7, "{bits} programs cannot find game controllers", nullptr},
    {"LibUsb", GROUP_SYSTEM, 8, "{bits} programs cannot reach USB devices", nullptr},
    {"LibDbus1", GROUP_SYSTEM, 8, "{bits} programs cannot talk to desktop services", nullptr},
    {"LibGnutls", GROUP_OTHER, 1, network, nullptr},
    {"LibKrb5", GROUP_OTHER, 2, network, nullptr},
    {"LibGssApi_Krb5", GROUP_OTHER, 2, network, nullptr},
    {"LibLber2", GROUP_OTHER, 3, network, nullptr},
    {"LibLdap_r2", GROUP_OTHER, 3, network, nullptr},
    {"LibNss_mdns2", GROUP_OTHER, 3, "{bits} programs cannot find local (.local) hosts",
     nullptr},
    {"LibCups", GROUP_OTHER, 4, "{bits} programs cannot print", nullptr},
    {"LibOpencl", GROUP_OTHER, 5, "{bits} programs cannot compute with OpenCL", nullptr},
    {"LibOdbc", GROUP_OTHER, 6, "{bits} programs cannot reach ODBC databases", nullptr},
    {"LibSane", GROUP_OTHER, 6, "{bits} programs cannot use scanners", nullptr},
    {"LibGphoto2", GROUP_OTHER, 6, "{bits} programs cannot use cameras", nullptr},
    {"LibGphoto2Port12", GROUP_OTHER, 6, "{bits} programs cannot use cameras", nullptr},
    {"LibCapi20", GROUP_OTHER, 7, "{bits} programs cannot use ISDN", nullptr},
    {"LibPcap", GROUP_OTHER, 7, "{bits} programs cannot capture network traffic", nullptr},
};

} // namespace

const FindingWords *finding_words(const char *name) {
    for (const FindingWords &row : words_table)
        if (strcmp(row.name, name) == 0) return &row;
    return nullptr;
}
