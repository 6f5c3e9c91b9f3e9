// Binding by name against the real libc: every name looked up in order, each
// absent required one traced, optional ones allowed to be absent silently.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "libprobe/binding.h"
#include "report/report.h"

namespace {

struct Name {
    const char *name;
    bool optional;
};

struct Case {
    const char *title;
    std::vector<Name> names;
    int expected;
    const char *trace;
};

class BindLibrary : public ::testing::TestWithParam<Case> {};

TEST_P(BindLibrary, LooksUpEveryName) {
    void *libc = dlopen("libc.so.6", RTLD_NOW);
    ASSERT_NE(libc, nullptr);
    std::vector<void (*)()> slots(GetParam().names.size());
    std::vector<NamedSlot> table;
    for (size_t i = 0; i < slots.size(); ++i)
        table.push_back(named_slot(GetParam().names[i].name, &slots[i], GetParam().names[i].optional));
    set_debug_enabled(1);
    StreamCapture err(stderr);
    EXPECT_EQ(bind_library(libc, table), GetParam().expected);
    EXPECT_EQ(err.text(), GetParam().trace);
    set_debug_enabled(0);
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(reinterpret_cast<void *>(slots[i]), dlsym(libc, GetParam().names[i].name));
}

INSTANTIATE_TEST_SUITE_P(
    Names, BindLibrary,
    ::testing::Values(
        Case{"all_present", {{"strlen", false}, {"getpid", false}}, 1, ""},
        Case{"absent_required_each_traced",
             {{"tarvek_absent_a", false}, {"strlen", false}, {"tarvek_absent_b", false}}, 0,
             "Missing tarvek_absent_a\nMissing tarvek_absent_b\n"},
        Case{"absent_optional_silent", {{"strlen", false}, {"tarvek_absent_c", true}}, 1, ""},
        Case{"present_optional_bound", {{"getpid", true}}, 1, ""},
        Case{"optional_absent_required_absent",
             {{"tarvek_absent_c", true}, {"tarvek_absent_d", false}}, 0,
             "Missing tarvek_absent_d\n"}),
    [](const auto &info) { return std::string(info.param.title); });

}  // namespace
