#!/usr/bin/env bash
# Checks the program's Debian package table against the archive of each
# release it names (11 bullseye, 12 bookworm, 13 trixie), both word sizes:
# every package must be there for amd64 and i386, and every file a row says
# it holds must be in one of the row's packages. The table is read from the
# program (build/tests/print_debian_packages); the packages are downloaded
# with apt-get into the release's userland (scripts/userland.sh), in an
# overlay thrown away after. As root:
#   scripts/check-debian-packages.sh [BUILD_DIR] [RELEASE...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
shift || true
releases=${*:-11 12 13}
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
"$build/tests/print_debian_packages" >"$work/table"
cp "$here/../scripts/check-debian-packages-inside.sh" "$work/inside.sh"
failed=0
for release in $releases; do
  case $release in
    11) suite=bullseye ;; 12) suite=bookworm ;; 13) suite=trixie ;;
    *) echo "no suite known for Debian $release" >&2; exit 2 ;;
  esac
  "$here/userland.sh" make "$suite"
  awk -F '\t' -v r="$release" '$1 == r' "$work/table" >"$work/table.$release"
  echo "Debian $release ($suite):"
  "$here/userland.sh" sandbox "$suite" "$work" "sh /opt/tarvek/inside.sh /opt/tarvek/table.$release" ||
    failed=1
done
[ "$failed" = 0 ] && echo "every cell matches the archive" || { echo "some cells do not match" >&2; exit 1; }
