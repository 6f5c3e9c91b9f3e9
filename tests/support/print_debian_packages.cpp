// Prints the program's Debian package table, one cell a line, for the
// archive check (scripts/check-debian-packages.sh): RELEASE TAB NAME TAB
// PACKAGES TAB FILES.
#include <cstdio>

#include "model/debian_packages.h"

int main() {
    for (int i = 0; i < debian_package_rows; ++i)
        for (int r = 0; r < debian_release_count; ++r)
            printf("%s\t%s\t%s\t%s\n", debian_releases[r], debian_package_table[i].name,
                   debian_package_table[i].packages[r], debian_package_table[i].holds[r]);
    return 0;
}
