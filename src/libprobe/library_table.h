// The libraries probed by name: the table, the three known under several
// sonames, and the fixed sonames of the mdns and vulkan steps.
#pragma once

struct LibraryEntry {
    const char *lib_id;
    const char *soname;
};

extern const LibraryEntry library_table[];
extern const int library_table_rows;

extern const char *const gnutls_sonames[];
extern const char *const lber_sonames[];
extern const char *const ldap_sonames[];
