#include "fixture_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "run_program.h"

FixtureDir::FixtureDir() {
    char pattern[] = "/tmp/tarvek-fixtures-XXXXXX";
    root_ = mkdtemp(pattern);
    mkdir((root_ + "/32").c_str(), 0755);
    mkdir((root_ + "/64").c_str(), 0755);
}

FixtureDir::~FixtureDir() { std::filesystem::remove_all(root_); }

static void link_fixture(const std::string &target, const std::string &link) {
    unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) != 0) abort();
}

void FixtureDir::install(const std::string &soname, const std::string &fixture, int only_bits) {
    for (int bits : {32, 64}) {
        if (only_bits && bits != only_bits) continue;
        link_fixture(fixture_path(bits, "lib" + fixture + ".so"),
                     root_ + "/" + std::to_string(bits) + "/" + soname);
    }
}

void FixtureDir::install_wrong_class(const std::string &soname, const std::string &fixture,
                                     int bits) {
    int other = bits == 32 ? 64 : 32;
    link_fixture(fixture_path(other, "lib" + fixture + ".so"),
                 root_ + "/" + std::to_string(bits) + "/" + soname);
}

std::string FixtureDir::library_path() const { return root_ + "/32:" + root_ + "/64"; }
