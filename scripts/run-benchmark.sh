#!/usr/bin/env bash
# Installs what the benchmark needs (Debian, as root), builds it, and runs it
# on this machine's real stack: both programs against their floors, with the
# figures and targets printed. Options go to tarvek-bench (--runs N, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

install_packages $build_packages $(both_arches "$runtime_libs") $test_packages
cmake -S . -B build -DTARVEK_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target tarvek_bench
exec bench/run-with-stack.sh build "$@"
