#!/usr/bin/env bash
# Installs what the build needs (Debian, as root), builds tarvek and tarvek64
# into build/, and runs both. Quick when everything is already there. On a
# kernel that does not run 32-bit programs, tarvek is built and not run.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/runs-32bit.sh

install_packages $build_packages $(both_arches "$runtime_libs")
cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"
# A probe that cannot tell leaves tarvek to be tried: its own failure then
# says why, and tarvek64 still runs.
decide_32bit build || no_32bit=
# Each program that can run does, whatever became of the one before.
status=0
for program in build/tarvek build/tarvek64; do
  if [ "$program" = build/tarvek ] && [ -n "$no_32bit" ]; then
    echo "$program: not run: $no_32bit"
    continue
  fi
  echo "== $program"
  "$program" || status=$?
done
exit "$status"
