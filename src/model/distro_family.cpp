// Package naming conventions of the families, as constant rules. Where an
// owner does not follow its family's convention the answer is empty: a
// name that does not exist must never reach an install command.
#include "model/distro_family.h"

#include <cstring>

namespace {

struct FamilyName {
    const char *os_id;
    DistroFamily family;
};

// IDs as the distributions write them in os-release, and as ID_LIKE names them.
const FamilyName family_names[] = {
    {"debian", FAMILY_DEBIAN}, {"ubuntu", FAMILY_DEBIAN},   {"fedora", FAMILY_FEDORA},
    {"rhel", FAMILY_FEDORA},   {"centos", FAMILY_FEDORA},   {"arch", FAMILY_ARCH},
    {"opensuse", FAMILY_SUSE}, {"suse", FAMILY_SUSE},       {"sles", FAMILY_SUSE},
    {"opensuse-leap", FAMILY_SUSE}, {"opensuse-tumbleweed", FAMILY_SUSE},
};

bool family_of_word(const std::string &word, DistroFamily *family) {
    for (const FamilyName &row : family_names)
        if (word == row.os_id) {
            *family = row.family;
            return true;
        }
    return false;
}

bool starts_with(const std::string &text, const char *prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

bool ends_with(const std::string &text, const char *suffix) {
    size_t n = strlen(suffix);
    return text.size() > n && text.compare(text.size() - n, n, suffix) == 0;
}

// "name:arch" or "name.arch" split at the last separator; no separator:
// the whole is the name and the architecture is empty.
void split_architecture(const std::string &owner, char separator, std::string *name,
                        std::string *arch) {
    size_t at = owner.rfind(separator);
    *name = at == std::string::npos ? owner : owner.substr(0, at);
    *arch = at == std::string::npos ? "" : owner.substr(at + 1);
}

// Debian's biarch packages hold the other word size's copy under a name of
// their own ("lib32stdc++6" and "libc6-i386" on amd64, "lib64stdc++6" and
// "libc6-amd64" on i386); the multiarch package is the plain name.
std::string debian_multiarch_name(const std::string &name, int owner_bits) {
    const char *prefix = owner_bits == 32 ? "lib32" : "lib64";
    const char *suffix = owner_bits == 32 ? "-i386" : "-amd64";
    if (starts_with(name, prefix) && name.size() > 5) return "lib" + name.substr(5);
    if (ends_with(name, suffix)) return name.substr(0, name.size() - strlen(suffix));
    return name;
}

std::string debian_name(const std::string &owner, int owner_bits, int bits) {
    std::string name, arch;
    split_architecture(owner, ':', &name, &arch);
    if (name.empty()) return "";
    return debian_multiarch_name(name, owner_bits) + ":" + family_architecture(FAMILY_DEBIAN, bits);
}

// rpm names packages by NAME.ARCH; noarch and unknown owners give nothing.
std::string fedora_name(const std::string &owner, int bits) {
    std::string name, arch;
    split_architecture(owner, '.', &name, &arch);
    if (arch != "i686" && arch != "x86_64" && arch != "i386") return "";
    return name + "." + family_architecture(FAMILY_FEDORA, bits);
}

// Arch's 32-bit packages are "lib32-" and the 64-bit name.
std::string arch_name(const std::string &owner, int owner_bits, int bits) {
    bool owner_is_lib32 = starts_with(owner, "lib32-");
    if (owner_bits == 32 && !owner_is_lib32) return "";
    std::string base = owner_is_lib32 ? owner.substr(6) : owner;
    if (base.empty()) return "";
    return bits == 32 ? "lib32-" + base : base;
}

// openSUSE's 32-bit packages are the 64-bit name and "-32bit".
std::string suse_name(const std::string &owner, int owner_bits, int bits) {
    std::string name, arch;
    split_architecture(owner, '.', &name, &arch);
    bool owner_is_32bit = ends_with(name, "-32bit");
    if (owner_bits == 32 && !owner_is_32bit) return "";
    std::string base = owner_is_32bit ? name.substr(0, name.size() - 6) : name;
    if (base.empty()) return "";
    return bits == 32 ? base + "-32bit" : base;
}

std::string package_for_word_size(DistroFamily family, const std::string &owner, int owner_bits,
                                  int bits) {
    switch (family) {
    case FAMILY_DEBIAN:
        return debian_name(owner, owner_bits, bits);
    case FAMILY_FEDORA:
        return fedora_name(owner, bits);
    case FAMILY_ARCH:
        return arch_name(owner, owner_bits, bits);
    case FAMILY_SUSE:
        return suse_name(owner, owner_bits, bits);
    case FAMILY_OTHER:
        break;
    }
    return "";
}

} // namespace

DistroFamily distro_family(const Distribution &distribution) {
    DistroFamily family = FAMILY_OTHER;
    if (!distribution.known) return family;
    if (family_of_word(distribution.id, &family)) return family;
    std::string words = distribution.id_like + " ";
    size_t start = 0;
    for (size_t space; (space = words.find(' ', start)) != std::string::npos; start = space + 1)
        if (family_of_word(words.substr(start, space - start), &family)) return family;
    return FAMILY_OTHER;
}

std::string package_for_other_word_size(DistroFamily family, const std::string &owner,
                                        int owner_bits) {
    return package_for_word_size(family, owner, owner_bits, owner_bits == 32 ? 64 : 32);
}

// The owner query already names it as it installs, but for openSUSE's
// architecture, which zypper does not take.
std::string package_for_own_word_size(DistroFamily family, const std::string &owner) {
    if (family != FAMILY_SUSE) return owner;
    std::string name, arch;
    split_architecture(owner, '.', &name, &arch);
    return name;
}

const char *family_architecture(DistroFamily family, int bits) {
    if (family == FAMILY_DEBIAN) return bits == 32 ? "i386" : "amd64";
    if (family == FAMILY_FEDORA) return bits == 32 ? "i686" : "x86_64";
    return "";
}

const char *install_command(DistroFamily family) {
    static const char *const commands[] = {"sudo apt install", "sudo dnf install",
                                           "sudo pacman -S", "sudo zypper install", ""};
    return commands[family];
}

std::string search_command(DistroFamily family, const std::string &soname, int bits) {
    switch (family) {
    case FAMILY_DEBIAN:
        return std::string("apt-file search --architecture ") +
               family_architecture(family, bits) + " " + soname;
    case FAMILY_FEDORA:
        return "dnf provides '*/" + soname + "'";
    case FAMILY_ARCH:
        return bits == 32 ? "pacman -F lib32/" + soname : "pacman -F " + soname;
    case FAMILY_SUSE:
        return "zypper se --provides '" + soname + (bits == 64 ? "()(64bit)'" : "'");
    case FAMILY_OTHER:
        break;
    }
    return "";
}

std::string verify_command(DistroFamily family, const std::string &package) {
    switch (family) {
    case FAMILY_DEBIAN:
        return "dpkg --verify " + package;
    case FAMILY_FEDORA:
    case FAMILY_SUSE:
        return "rpm -V " + package;
    case FAMILY_ARCH:
        return "pacman -Qkk " + package;
    case FAMILY_OTHER:
        break;
    }
    return "";
}
