#!/usr/bin/env bash
# Installs what the build needs (Debian, as root), builds tarvek and tarvek64
# into build/, and runs both. Quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

install_packages $build_packages $(both_arches "$runtime_libs")
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"
for program in build/tarvek build/tarvek64; do
  echo "== $program"
  "$program"
done
