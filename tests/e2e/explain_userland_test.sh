#!/usr/bin/env bash
# --explain on a real Debian userland, in an overlay thrown away after
# (root only; downloads from the archive):
#   explain_userland_test.sh SOURCE BUILD SUITE row
#     a 32-bit library removed with apt: the explanation names the package
#     from its 64-bit copy, and installing it makes that finding go away;
#   explain_userland_test.sh SOURCE BUILD SUITE all
#     every install command printed installs, and afterwards no
#     missing-library finding is left whose package the archive has.
set -euo pipefail
src=$1 build=$2 suite=$3 mode=$4
explain="/opt/tarvek/tarvek64 --explain"
# Both rows run the 32-bit program (CTest takes 77 as skipped).
if [ -n "${TARVEK_NO_32BIT_RUNS:-}" ]; then
  echo "needs a 32-bit program: $TARVEK_NO_32BIT_RUNS"
  exit 77
fi
"$src/scripts/userland.sh" make "$suite" >&2
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$mode" = row ]; then
  out=$("$src/scripts/userland.sh" sandbox "$suite" "$build" "
    apt-get install -y -q --no-install-recommends libx11-6:amd64 libx11-6:i386 >/dev/null &&
    apt-get remove -y -q libx11-6:i386 >/dev/null || exit 1
    $explain >/tmp/explain && echo status 0 || echo status nonzero
    fix=\$(grep -A1 'The 32-bit library libX11.so.6 is missing' /tmp/explain | sed -n 's/^ *Fix: install \\([^ ]*\\) .*/\\1/p')
    echo \"fix \$fix\"
    grep -q \"sudo apt install .*\$fix\" /tmp/explain && echo 'in the install command'
    apt-get install -y -q --no-install-recommends \"\$fix\" >/dev/null || echo 'apt failed'
    /opt/tarvek/tarvek | grep -c '^\\[MissingLibX11\\]' || true")
  expected=$(printf '%s\n' "status nonzero" "fix libx11-6:i386" "in the install command" "0")
  [ "$out" = "$expected" ] || fail "$(diff <(echo "$expected") <(echo "$out"))"
  echo "PASS: libx11-6:i386 named from the 64-bit copy's package, and installing it ends the finding"
  exit 0
fi

# all: both word sizes' install commands, then what is still missing.
"$src/scripts/userland.sh" sandbox "$suite" "$build" "
  start=\$(date +%s%N)
  /opt/tarvek/tarvek >/dev/null; /opt/tarvek/tarvek64 >/dev/null
  plain=\$(date +%s%N)
  $explain >/tmp/explain
  done=\$(date +%s%N)
  echo \$start \$plain \$done | awk '{ printf \"plain runs %.2f s, explain %.2f s\\n\", (\$2 - \$1) / 1e9, (\$3 - \$2) / 1e9 }'
  grep -c '^  - ' /tmp/explain | sed 's/^/findings: /'
  grep -h -E 'Fix: find|Look for' /tmp/explain | sort | uniq -c
  grep -E 'Fix: install' /tmp/explain | grep -c 'from the package of' | sed 's/^/from the other copy: /'
  grep -E 'Fix: install' /tmp/explain | grep -vc 'from the package of' | sed 's/^/from the table: /'
  grep 'sudo apt install' /tmp/explain | sed 's/.*sudo apt install//' | while read -r packages; do
    apt-get install -y -q --no-install-recommends \$packages >/tmp/apt.log 2>&1 ||
      { echo \"apt failed on: \$packages\"; tail -5 /tmp/apt.log; exit 1; }
  done || exit 1
  echo 'every install command installed'
  for p in tarvek tarvek64; do /opt/tarvek/\$p; done | grep -E '^\[Missing(Lib|GStreamer)' | sed 's/^/still: /'
  true"
