// Constant tables only. The order is the report's order; the candidate lists
// are tried exactly as stored, duplicates included.
#include "libprobe/library_table.h"

#include "target/target.h"

const LibraryEntry library_table[] = {
    {"LibFreetype", "libfreetype.so.6"},
    {"LibXext", "libXext.so.6"},
    {"LibCapi20", "libcapi20.so.3"},
    TARGET_ROWS_AFTER_CAPI20
    {"LibCups", "libcups.so.2"},
    {"LibDbus1", "libdbus-1.so.3"},
    {"LibFontconfig", "libfontconfig.so.1"},
    TARGET_ROWS_AFTER_FONTCONFIG
    {"LibGphoto2", "libgphoto2.so.6"},
    {"LibGphoto2Port12", "libgphoto2_port.so.12"},
    {"LibGssApi_Krb5", "libgssapi_krb5.so.2"},
    {"LibKrb5", "libkrb5.so.3"},
    TARGET_ROWS_AFTER_KRB5
    {"LibOdbc", "libodbc.so.2"},
    {"LibOpenal", "libopenal.so.1"},
    {"LibOpencl", "libOpenCL.so.1"},
    {"LibOsmesa82", "libOSMesa.so.8"},
    {"LibPcap", "libpcap.so.0.8"},
    {"LibResolv", "libresolv.so.2"},
    {"LibSane", "libsane.so.1"},
    {"LibStdc", "libstdc++.so.6"},
    {"LibUdev", "libudev.so.1"},
    TARGET_ROWS_AFTER_UDEV
    {"LibUsb", "libusb-1.0.so.0"},
    {"LibV4l2", "libv4l2.so.0"},
    {"LibXcomposite", "libXcomposite.so.1"},
    {"LibXcursor", "libXcursor.so.1"},
    {"LibXfixes", "libXfixes.so.3"},
    {"LibXi", "libXi.so.6"},
    {"LibXinerama", "libXinerama.so.1"},
    {"LibXrandr", "libXrandr.so.2"},
    {"LibXrender", "libXrender.so.1"},
    {"LibXxf86vm", "libXxf86vm.so.1"},
};

const int library_table_rows = sizeof library_table / sizeof library_table[0];

const char *const gnutls_sonames[] = {
    "libgnutls.so.30",     "libgnutls.so.30", "libgnutls.so.28", "libgnutls-deb0.so.28",
    "libgnutls.so.26",     "libgnutls-deb0.so.28", nullptr,
};

const char *const lber_sonames[] = {
    "liblber-2.5.so.0", "liblber-2.4.so.2", "liblber.so.2", nullptr,
};

const char *const ldap_sonames[] = {
    "libldap-2.5.so.0", "libldap_r-2.4.so.2", "libldap.so.2", nullptr,
};
