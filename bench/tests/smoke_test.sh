#!/usr/bin/env bash
# One run of each program through the benchmark's own command, on the stack
# it sets up; fails unless every figure is printed, numeric and plausible.
#   smoke_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
out=$(mktemp /tmp/tarvek-bench-smoke.XXXXXX)
trap 'rm -f "$out"' EXIT

"$source_dir/bench/run-with-stack.sh" "$build_dir" --runs 1 >"$out"
status=$?
cat "$out"
[ "$status" -eq 0 ] || { echo "smoke: the benchmark exited with status $status"; exit 1; }

number='[0-9]+(\.[0-9]+)?'
failures=0
expect() {  # expect PROGRAM REGEX
  if ! awk -v p="== $1 " 'index($0, p) == 1 {on = 1; next} /^== / {on = 0} on' "$out" |
      grep -Eq "^$2\$"; then
    echo "smoke: $1: no line matching: $2"
    failures=$((failures + 1))
  fi
}

grep -Eq '^stack: DISPLAY=:[0-9]+, XDG_RUNTIME_DIR=/.*, PulseAudio running$' "$out" ||
  { echo "smoke: the stack line does not show a display and a running PulseAudio"; failures=$((failures + 1)); }
for program in tarvek64 tarvek; do
  grep -q "^== $program ([0-9]*-bit), 1 run\$" "$out" ||
    { echo "smoke: no figures for $program"; failures=$((failures + 1)); continue; }
  expect $program "whole run median: +$number ms \(floor $number ms, run/floor $number"'x; longest run '"$number ms\)"
  expect $program "peak memory \(main\): +[1-9][0-9]* kB \(VmHWM of the main process; floor [1-9][0-9]* kB\)"
  expect $program "isolated runs: +[1-9][0-9]* \([0-9]+ forks, [0-9]+ of them by the main process\)"
  expect $program "library steps: +[1-9][0-9]* probes, $number ms \(floor $number ms, steps/floor $number"'x\)'
  expect $program "library steps end: +.+"
  expect $program "libraries: +.+"
  expect $program "watchdog: +.+"
  expect $program "target steps <= 1\.3x floor: +(met|MISSED) \($number"'x\)'
  expect $program "target whole run < 1 s: +(met|MISSED|not judged.*) \(longest $number ms\)"
  expect $program "target no watchdog wait: +(met|MISSED|not judged.*)"
  # Every library-step probe is an isolated run of its own.
  probes=$(awk -v p="== $program " 'index($0, p) == 1 {on = 1; next} /^== / {on = 0}
    on && /^library steps:/ {print $3}' "$out")
  runs=$(awk -v p="== $program " 'index($0, p) == 1 {on = 1; next} /^== / {on = 0}
    on && /^isolated runs:/ {print $3}' "$out")
  [ -n "$probes" ] && [ -n "$runs" ] && [ "$runs" -ge "$probes" ] ||
    { echo "smoke: $program: $runs isolated runs for $probes library probes"; failures=$((failures + 1)); }
done
echo "smoke: $failures failures"
[ "$failures" -eq 0 ]
