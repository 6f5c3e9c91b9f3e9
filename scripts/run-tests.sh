#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds everything with
# warnings as errors (the benchmark and its tests included), and runs the
# whole suite through CTest. Tests start their own X servers and sound
# daemons; nothing is left running afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
. scripts/runs-32bit.sh

install_packages $build_packages $(both_arches "$runtime_libs") $test_packages
# The Debian 11 and 13 userlands the programs are run on (cached; minutes when new),
# made here so that it does not compete with the timed tests. Should it
# fail, its test tries again and fails with the reason; the rest still runs.
scripts/userland.sh make bullseye || true
scripts/userland.sh make trixie || true
# Whether this kernel runs 32-bit programs, decided once: where it does not,
# every test that must run one is skipped with the reason, and the rest runs.
decide_32bit build

# run_suite DIR: CTest in DIR, then how many tests were skipped for want of
# 32-bit runs, and why, whatever the outcome.
run_suite() {
  local status=0
  (cd "$1" && ctest -j"$(nproc)" --output-on-failure --timeout 600 --output-junit ctest.xml) ||
    status=$?
  if [ -n "$no_32bit" ]; then
    echo "$(skipped_32bit "$1/ctest.xml") tests skipped, each needing a 32-bit program: $no_32bit"
  fi
  return "$status"
}

cmake -S . -B build -DBUILD_TESTING=ON -DTARVEK_WERROR=ON -DTARVEK_BENCH=ON \
  -DTARVEK_NO_32BIT_RUNS="$no_32bit" >/dev/null
cmake --build build -j"$(nproc)"
run_suite build

# The same suite against a tarvek64 built with ASan and UBSan: any report
# they write, in any process, fails the run.
cmake -S . -B build-sanitize -DBUILD_TESTING=ON -DTARVEK_WERROR=ON -DTARVEK_SANITIZE=ON \
  -DTARVEK_NO_32BIT_RUNS="$no_32bit" >/dev/null
cmake --build build-sanitize -j"$(nproc)"
rm -rf build-sanitize/sanitizer-logs && mkdir -p build-sanitize/sanitizer-logs
run_suite build-sanitize
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
run_suite build-fuzz
