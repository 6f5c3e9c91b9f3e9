// The libraries probed by name: the table, the three known under several
// sonames, and the fixed sonames of the mdns and vulkan steps.
#pragma once

// The programs that probe a table row: a library that only exists, or only
// matters, for x86-64 is left out of the 32-bit table.
enum WordSizes {
    BOTH_WORD_SIZES,
    ONLY_64_BIT,
};

struct LibraryEntry {
    const char *lib_id;
    const char *soname;
    WordSizes word_sizes;
};

extern const LibraryEntry library_table[];
extern const int library_table_rows;

// Whether the program of this word size probes the row.
constexpr bool has_word_size(const LibraryEntry &row, int bits) {
    return row.word_sizes == BOTH_WORD_SIZES || bits == 64;
}

// A library known under several sonames, tried in the order stored,
// duplicates included; a miss is reported under the first soname.
struct AlternativeLibrary {
    const char *lib_id;
    const char *const *sonames; // ended by a null pointer
};

extern const AlternativeLibrary alternative_libraries[];
extern const int alternative_library_count;
