#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds everything, and runs
# the whole suite through CTest. Tests start their own X servers and sound
# daemons; nothing is left running afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

install_packages $build_packages $(both_arches "$runtime_libs") $test_packages
cmake -S . -B build -DTARVEK_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)"
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
