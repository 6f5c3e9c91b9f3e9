// Constant data: which package holds what, per release. Names change between
// releases (13 renamed libraries whose interface holds a time_t, "t64"),
// so each release has its own column. The mpg123 decoder is in the good
// pack, not the ugly one its issue is named after. scripts/check-debian-packages.sh checks every
// cell against the archive.
#include "model/debian_packages.h"

#include <cstring>

const char *const debian_releases[debian_release_count] = {"11", "12", "13"};

#define SAME3(text) {text, text, text}

const DebianPackageRow debian_package_table[] = {
    {"LibFreetype", SAME3("libfreetype6"), SAME3("libfreetype.so.6")},
    {"LibXext", SAME3("libxext6"), SAME3("libXext.so.6")},
    {"LibCapi20", {"libcapi20-3", "libcapi20-3", "libcapi20-3t64"}, SAME3("libcapi20.so.3")},
    {"LibCrypt", SAME3("libcrypt1"), SAME3("libcrypt.so.1")},
    {"LibCups", {"libcups2", "libcups2", "libcups2t64"}, SAME3("libcups.so.2")},
    {"LibDbus1", SAME3("libdbus-1-3"), SAME3("libdbus-1.so.3")},
    {"LibFontconfig", SAME3("libfontconfig1"), SAME3("libfontconfig.so.1")},
    {"LibGmp", SAME3("libgmp10"), SAME3("libgmp.so.10")},
    {"LibGphoto2", {"libgphoto2-6", "libgphoto2-6", "libgphoto2-6t64"}, SAME3("libgphoto2.so.6")},
    {"LibGphoto2Port12",
     {"libgphoto2-port12", "libgphoto2-port12", "libgphoto2-port12t64"},
     SAME3("libgphoto2_port.so.12")},
    {"LibGssApi_Krb5", SAME3("libgssapi-krb5-2"), SAME3("libgssapi_krb5.so.2")},
    {"LibKrb5", SAME3("libkrb5-3"), SAME3("libkrb5.so.3")},
    {"LibNsl", SAME3("libc6"), SAME3("libnsl.so.1")},
    {"LibOdbc", {"libodbc1", "libodbc2", "libodbc2"}, SAME3("libodbc.so.2")},
    {"LibOpenal", SAME3("libopenal1"), SAME3("libopenal.so.1")},
    {"LibOpencl", SAME3("ocl-icd-libopencl1"), SAME3("libOpenCL.so.1")},
    {"LibOsmesa82", SAME3("libosmesa6"), SAME3("libOSMesa.so.8")},
    {"LibPcap", {"libpcap0.8", "libpcap0.8", "libpcap0.8t64"}, SAME3("libpcap.so.0.8")},
    {"LibResolv", SAME3("libc6"), SAME3("libresolv.so.2")},
    {"LibSane", {"libsane1", "libsane1", "libsane1"}, SAME3("libsane.so.1")},
    {"LibStdc", SAME3("libstdc++6"), SAME3("libstdc++.so.6")},
    {"LibUdev", SAME3("libudev1"), SAME3("libudev.so.1")},
    {"LibUnwind2", SAME3("libunwind8"), SAME3("libunwind.so.8")},
    {"LibUsb", {"libusb-1.0-0", "libusb-1.0-0", "libusb-1.0-0"}, SAME3("libusb-1.0.so.0")},
    {"LibV4l2", {"libv4l-0", "libv4l-0", "libv4l-0t64"}, SAME3("libv4l2.so.0")},
    {"LibXcomposite", SAME3("libxcomposite1"), SAME3("libXcomposite.so.1")},
    {"LibXcursor", SAME3("libxcursor1"), SAME3("libXcursor.so.1")},
    {"LibXfixes", SAME3("libxfixes3"), SAME3("libXfixes.so.3")},
    {"LibXi", SAME3("libxi6"), SAME3("libXi.so.6")},
    {"LibXinerama", SAME3("libxinerama1"), SAME3("libXinerama.so.1")},
    {"LibXrandr", SAME3("libxrandr2"), SAME3("libXrandr.so.2")},
    {"LibXrender", SAME3("libxrender1"), SAME3("libXrender.so.1")},
    {"LibXxf86vm", SAME3("libxxf86vm1"), SAME3("libXxf86vm.so.1")},
    {"LibGnutls", {"libgnutls30", "libgnutls30", "libgnutls30t64"}, SAME3("libgnutls.so.30")},
    {"LibLber2",
     {"libldap-2.4-2", "libldap-2.5-0", "libldap2"},
     {"liblber-2.4.so.2", "liblber-2.5.so.0", "liblber.so.2"}},
    {"LibLdap_r2",
     {"libldap-2.4-2", "libldap-2.5-0", "libldap2"},
     {"libldap_r-2.4.so.2", "libldap-2.5.so.0", "libldap.so.2"}},
    {"LibNss_mdns2", SAME3("libnss-mdns"), SAME3("libnss_mdns.so.2")},
    {"LibVulkan", SAME3("libvulkan1"), SAME3("libvulkan.so.1")},
    {"LibGcc_s", SAME3("libgcc-s1"), SAME3("libgcc_s.so.1")},
    {"LibPthread", SAME3("libc6"), SAME3("libpthread.so.0")},
    {"LibPulse", SAME3("libpulse0"), SAME3("libpulse.so.0")},
    {"LibAsound", {"libasound2", "libasound2", "libasound2t64"}, SAME3("libasound.so.2")},
    {"LibAsoundMidi", {"libasound2", "libasound2", "libasound2t64"}, SAME3("libasound.so.2")},
    {"LibGstreamer1", SAME3("libgstreamer1.0-0"), SAME3("libgstreamer-1.0.so.0")},
    {"LibX11", SAME3("libx11-6"), SAME3("libX11.so.6")},
    {"LibGL", SAME3("libgl1"), SAME3("libGL.so.1")},
    // What the report's other findings need from the archive.
    {"NonPulseAudioAlsa", SAME3("libasound2-plugins"), SAME3("libasound_module_pcm_pulse.so")},
    {"MissingDriDrivers", SAME3("libgl1-mesa-dri"), SAME3("swrast_dri.so")},
    {"MissingGStreamer1Bad2", SAME3("gstreamer1.0-plugins-bad"), SAME3("libgstvideoparsersbad.so")},
    {"MissingGStreamer1Base2",
     SAME3("gstreamer1.0-plugins-base"),
     SAME3("libgstaudioconvert.so libgstogg.so libgstvorbis.so")},
    {"MissingGStreamer1Good2",
     SAME3("gstreamer1.0-plugins-good"),
     SAME3("libgstavi.so libgstflac.so libgstjpeg.so libgstmatroska.so libgstvpx.so")},
    {"MissingGStreamer1Ugly",
     SAME3("gstreamer1.0-plugins-ugly gstreamer1.0-plugins-good"),
     SAME3("libgstasf.so libgstmpg123.so")},
    {"MissingGStreamer1Mpg123audiodec", SAME3("gstreamer1.0-plugins-good"), SAME3("libgstmpg123.so")},
    {"MissingGStreamer1Libav", SAME3("gstreamer1.0-libav"), SAME3("libgstlibav.so")},
};

#undef SAME3

const int debian_package_rows = sizeof debian_package_table / sizeof debian_package_table[0];

const char *debian_packages_for(const char *name, const char *version_id) {
    for (int release = 0; release < debian_release_count; ++release) {
        if (strcmp(version_id, debian_releases[release]) != 0) continue;
        for (int i = 0; i < debian_package_rows; ++i)
            if (strcmp(debian_package_table[i].name, name) == 0)
                return debian_package_table[i].packages[release];
    }
    return nullptr;
}
