#!/usr/bin/env bash
# Installs what the benchmark needs (Debian, as root), builds it and the
# sequential build it is held against, and runs it on this machine's real
# stack. Options go to tarvek-bench (--runs N). TARVEK_BASELINE names the
# commit of the sequential build (default: the last before checks ran at once).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages $build_packages $(both_arches "$runtime_libs") $test_packages
cmake -S . -B build -DTARVEK_BENCH=ON >/dev/null
cmake --build build -j"$(nproc)" --target tarvek_bench

# The baseline's programs, built in a worktree of its commit in the build folder.
base=build/bench-baseline
commit=$(git rev-parse --verify "${TARVEK_BASELINE:-0c6082c}^{commit}")
if [ "$(git -C "$base/src" rev-parse HEAD 2>/dev/null)" != "$commit" ]; then
  [ ! -e "$base/src" ] || git worktree remove --force "$base/src"
  git worktree add -f --detach "$base/src" "$commit" >/dev/null
fi
cmake -S "$base/src" -B "$base/build" --no-warn-unused-cli -DTARVEK_TESTS=OFF -DBUILD_TESTING=OFF \
  >/dev/null
cmake --build "$base/build" -j"$(nproc)" --target tarvek tarvek64 >/dev/null
echo "sequential baseline: $(git log -1 --format='%h %s' "$commit")"
exec bench/run-with-stack.sh build "$PWD/$base/build" "$@"
