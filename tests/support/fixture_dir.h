// A private library directory per test: fixture libraries linked in under the
// sonames they stand in for, one subdirectory per word size. The loader skips
// a library of the other word size, so one LD_LIBRARY_PATH serves both builds.
#pragma once

#include <string>

class FixtureDir {
  public:
    FixtureDir();
    ~FixtureDir();
    FixtureDir(const FixtureDir &) = delete;
    FixtureDir &operator=(const FixtureDir &) = delete;

    // Installs fixture libFIXTURE.so as SONAME for both word sizes, or for one.
    void install(const std::string &soname, const std::string &fixture, int only_bits = 0);
    // Installs a file of the other word size only, as a library of the wrong class.
    void install_wrong_class(const std::string &soname, const std::string &fixture, int bits);
    std::string library_path() const;
    const std::string &root() const { return root_; }

  private:
    std::string root_;
};
