#include "program_tables.h"

std::vector<LibraryEntry> library_rows(const ProgramUnderTest &p) {
    std::vector<LibraryEntry> rows;
    for (int i = 0; i < library_table_rows; ++i)
        if (has_word_size(library_table[i], p.bits)) rows.push_back(library_table[i]);
    return rows;
}

std::vector<Alternatives> alternative_lists() {
    std::vector<Alternatives> lists;
    for (int i = 0; i < alternative_library_count; ++i) {
        Alternatives list{alternative_libraries[i].lib_id, {}};
        for (const char *const *soname = alternative_libraries[i].sonames; *soname; ++soname)
            list.sonames.push_back(*soname);
        lists.push_back(list);
    }
    return lists;
}

std::vector<Pack> plugin_packs() {
    std::vector<Pack> packs;
    for (const PluginPack *pack = plugin_pack_table; pack->issue_id; ++pack) {
        Pack copy{pack->issue_id, pack->pack_name, {}};
        for (int i = 0; i < 8 && pack->elements[i]; ++i)
            copy.elements.push_back(pack->elements[i]);
        packs.push_back(copy);
    }
    return packs;
}

namespace {

struct KnownSection {
    const char *name;
    WordSizes word_sizes;
};

// Written by hand on purpose: the one statement, outside the program, of
// which sections the two tables give and in which order. The library table
// first, then the plugin packs, as in a report.
const KnownSection known_sections[] = {
    {"MissingLibFreetype", BOTH_WORD_SIZES},
    {"MissingLibXext", BOTH_WORD_SIZES},
    {"MissingLibCapi20", BOTH_WORD_SIZES},
    {"MissingLibCrypt", ONLY_64_BIT},
    {"MissingLibCups", BOTH_WORD_SIZES},
    {"MissingLibDbus1", BOTH_WORD_SIZES},
    {"MissingLibFontconfig", BOTH_WORD_SIZES},
    {"MissingLibGmp", ONLY_64_BIT},
    {"MissingLibGphoto2", BOTH_WORD_SIZES},
    {"MissingLibGphoto2Port12", BOTH_WORD_SIZES},
    {"MissingLibGssApi_Krb5", BOTH_WORD_SIZES},
    {"MissingLibKrb5", BOTH_WORD_SIZES},
    {"MissingLibNsl", ONLY_64_BIT},
    {"MissingLibOdbc", BOTH_WORD_SIZES},
    {"MissingLibOpenal", BOTH_WORD_SIZES},
    {"MissingLibOpencl", BOTH_WORD_SIZES},
    {"MissingLibOsmesa82", BOTH_WORD_SIZES},
    {"MissingLibPcap", BOTH_WORD_SIZES},
    {"MissingLibResolv", BOTH_WORD_SIZES},
    {"MissingLibSane", BOTH_WORD_SIZES},
    {"MissingLibStdc", BOTH_WORD_SIZES},
    {"MissingLibUdev", BOTH_WORD_SIZES},
    {"MissingLibUnwind2", ONLY_64_BIT},
    {"MissingLibUsb", BOTH_WORD_SIZES},
    {"MissingLibV4l2", BOTH_WORD_SIZES},
    {"MissingLibXcomposite", BOTH_WORD_SIZES},
    {"MissingLibXcursor", BOTH_WORD_SIZES},
    {"MissingLibXfixes", BOTH_WORD_SIZES},
    {"MissingLibXi", BOTH_WORD_SIZES},
    {"MissingLibXinerama", BOTH_WORD_SIZES},
    {"MissingLibXrandr", BOTH_WORD_SIZES},
    {"MissingLibXrender", BOTH_WORD_SIZES},
    {"MissingLibXxf86vm", BOTH_WORD_SIZES},
    {"MissingGStreamer1Bad2", BOTH_WORD_SIZES},
    {"MissingGStreamer1Base2", BOTH_WORD_SIZES},
    {"MissingGStreamer1Good2", BOTH_WORD_SIZES},
    {"MissingGStreamer1Ugly", BOTH_WORD_SIZES},
    {"MissingGStreamer1Mpg123audiodec", BOTH_WORD_SIZES},
    {"MissingGStreamer1Libav", BOTH_WORD_SIZES},
};

} // namespace

std::vector<std::string> known_section_names(int bits) {
    std::vector<std::string> names;
    for (const auto &section : known_sections)
        if (section.word_sizes == BOTH_WORD_SIZES || bits == 64) names.push_back(section.name);
    return names;
}
