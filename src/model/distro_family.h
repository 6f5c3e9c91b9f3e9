// How each kind of distribution names, finds and installs the packages of
// the two word sizes. Pure functions: nothing here runs a program.
#pragma once

#include <string>

#include "model/run_model.h"

enum DistroFamily {
    FAMILY_DEBIAN, // Debian, Ubuntu and their derivatives: dpkg and apt
    FAMILY_FEDORA, // Fedora, RHEL and theirs: rpm and dnf
    FAMILY_ARCH,   // Arch and theirs: pacman
    FAMILY_SUSE,   // openSUSE and SLES: rpm and zypper
    FAMILY_OTHER,  // no command is known: the soname is all we can say
};

// From ID, then ID_LIKE word by word; unknown or unreadable: FAMILY_OTHER.
DistroFamily distro_family(const Distribution &distribution);

// The package of the other word size, from the package that owns the
// library of this one (`owner` as the family's owner query names it:
// "libgl1:amd64", "mesa-libGL.x86_64", "lib32-libglvnd", "libGL1-32bit").
// Empty when the family's convention gives no name (then nothing is guessed).
std::string package_for_other_word_size(DistroFamily family, const std::string &owner,
                                        int owner_bits);

// The owner's name fit to install for its own word size ("libgl1:amd64",
// "mesa-libGL.x86_64"); used where the library of this word size is
// broken rather than missing.
std::string package_for_own_word_size(DistroFamily family, const std::string &owner);

// The architecture suffix the family writes after a package name for a
// word size ("i386", "i686"); empty for families that rename instead.
const char *family_architecture(DistroFamily family, int bits);

// "sudo apt install", "sudo dnf install", ...; empty for FAMILY_OTHER.
const char *install_command(DistroFamily family);

// The family's search for the package holding a file, to be printed for a
// person to run ("apt-file search libGL.so.1"); empty for FAMILY_OTHER.
std::string search_command(DistroFamily family, const std::string &soname, int bits);

// The family's check of an installed package's files ("dpkg --verify NAME").
std::string verify_command(DistroFamily family, const std::string &package);
