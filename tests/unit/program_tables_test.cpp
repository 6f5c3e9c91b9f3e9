// Both programs' tables against the one hand-written list of the sections
// the front end knows: a row added, dropped, moved or given to the wrong
// word size shows here.
#include <gtest/gtest.h>

#include "program_tables.h"

namespace {

TEST(ProgramTables, GiveTheSectionsTheFrontEndKnowsInItsOrder) {
    for (const auto &p : programs_under_test()) {
        SCOPED_TRACE(p.name);
        std::vector<std::string> names;
        for (const auto &row : library_rows(p))
            names.push_back(std::string("Missing") + row.lib_id);
        for (const auto &pack : plugin_packs())
            names.push_back(pack.issue_id);
        EXPECT_EQ(names, known_section_names(p.bits));
    }
}

} // namespace
