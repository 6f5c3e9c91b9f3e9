#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds everything with
# warnings as errors (the benchmark and its tests included), and runs the
# whole suite through CTest. Tests start their own X servers and sound
# daemons; nothing is left running afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

install_packages $build_packages $(both_arches "$runtime_libs") $test_packages
# The Debian 11 userland the programs are run on (cached; minutes when new),
# made here so that it does not compete with the timed tests. Should it
# fail, its test tries again and fails with the reason; the rest still runs.
scripts/userland.sh make bullseye || true
cmake -S . -B build -DBUILD_TESTING=ON -DTARVEK_WERROR=ON -DTARVEK_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)"
(cd build && ctest -j"$(nproc)" --output-on-failure --timeout 600)

# The same suite against a tarvek64 built with ASan and UBSan: any report
# they write, in any process, fails the run.
cmake -S . -B build-sanitize -DBUILD_TESTING=ON -DTARVEK_WERROR=ON -DTARVEK_SANITIZE=ON \
  >/dev/null
cmake --build build-sanitize -j"$(nproc)"
rm -rf build-sanitize/sanitizer-logs && mkdir -p build-sanitize/sanitizer-logs
(cd build-sanitize && ctest -j"$(nproc)" --output-on-failure --timeout 600)
if [ -n "$(ls -A build-sanitize/sanitizer-logs)" ]; then
  cat build-sanitize/sanitizer-logs/*
  echo "sanitizer reports found" >&2
  exit 1
fi

# A short libFuzzer run of every target that reads outside text, after the
# saved regression inputs are replayed.
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DBUILD_TESTING=OFF -DTARVEK_WERROR=ON -DTARVEK_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
(cd build-fuzz && ctest -j"$(nproc)" --output-on-failure)
