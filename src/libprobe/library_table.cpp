// Constant tables only. The order is the report's order; the candidate lists
// are tried exactly as stored, duplicates included. Adding a library means a
// row here and an entry in the manual page.
#include "libprobe/library_table.h"

const LibraryEntry library_table[] = {
    {"LibFreetype", "libfreetype.so.6", BOTH_WORD_SIZES},
    {"LibXext", "libXext.so.6", BOTH_WORD_SIZES},
    {"LibCapi20", "libcapi20.so.3", BOTH_WORD_SIZES},
    {"LibCrypt", "libcrypt.so.1", ONLY_64_BIT},
    {"LibCups", "libcups.so.2", BOTH_WORD_SIZES},
    {"LibDbus1", "libdbus-1.so.3", BOTH_WORD_SIZES},
    {"LibFontconfig", "libfontconfig.so.1", BOTH_WORD_SIZES},
    {"LibGmp", "libgmp.so.10", ONLY_64_BIT},
    {"LibGphoto2", "libgphoto2.so.6", BOTH_WORD_SIZES},
    {"LibGphoto2Port12", "libgphoto2_port.so.12", BOTH_WORD_SIZES},
    {"LibGssApi_Krb5", "libgssapi_krb5.so.2", BOTH_WORD_SIZES},
    {"LibKrb5", "libkrb5.so.3", BOTH_WORD_SIZES},
    {"LibNsl", "libnsl.so.1", ONLY_64_BIT},
    {"LibOdbc", "libodbc.so.2", BOTH_WORD_SIZES},
    {"LibOpenal", "libopenal.so.1", BOTH_WORD_SIZES},
    {"LibOpencl", "libOpenCL.so.1", BOTH_WORD_SIZES},
    {"LibOsmesa82", "libOSMesa.so.8", BOTH_WORD_SIZES},
    {"LibPcap", "libpcap.so.0.8", BOTH_WORD_SIZES},
    {"LibResolv", "libresolv.so.2", BOTH_WORD_SIZES},
    {"LibSane", "libsane.so.1", BOTH_WORD_SIZES},
    {"LibStdc", "libstdc++.so.6", BOTH_WORD_SIZES},
    {"LibUdev", "libudev.so.1", BOTH_WORD_SIZES},
    {"LibUnwind2", "libunwind.so.8", ONLY_64_BIT},
    {"LibUsb", "libusb-1.0.so.0", BOTH_WORD_SIZES},
    {"LibV4l2", "libv4l2.so.0", BOTH_WORD_SIZES},
    {"LibXcomposite", "libXcomposite.so.1", BOTH_WORD_SIZES},
    {"LibXcursor", "libXcursor.so.1", BOTH_WORD_SIZES},
    {"LibXfixes", "libXfixes.so.3", BOTH_WORD_SIZES},
    {"LibXi", "libXi.so.6", BOTH_WORD_SIZES},
    {"LibXinerama", "libXinerama.so.1", BOTH_WORD_SIZES},
    {"LibXrandr", "libXrandr.so.2", BOTH_WORD_SIZES},
    {"LibXrender", "libXrender.so.1", BOTH_WORD_SIZES},
    {"LibXxf86vm", "libXxf86vm.so.1", BOTH_WORD_SIZES},
};

const int library_table_rows = sizeof library_table / sizeof library_table[0];

static const char *const gnutls_sonames[] = {
    "libgnutls.so.30",     "libgnutls.so.30", "libgnutls.so.28", "libgnutls-deb0.so.28",
    "libgnutls.so.26",     "libgnutls-deb0.so.28", nullptr,
};

static const char *const lber_sonames[] = {
    "liblber-2.5.so.0", "liblber-2.4.so.2", "liblber.so.2", nullptr,
};

static const char *const ldap_sonames[] = {
    "libldap-2.5.so.0", "libldap_r-2.4.so.2", "libldap.so.2", nullptr,
};

const AlternativeLibrary alternative_libraries[] = {
    {"LibGnutls", gnutls_sonames},
    {"LibLber2", lber_sonames},
    {"LibLdap_r2", ldap_sonames},
};

const int alternative_library_count =
    sizeof alternative_libraries / sizeof alternative_libraries[0];
