#!/usr/bin/env bash
# Runs tarvek-bench on the stack the programs check: an Xvfb on a free display
# that never resets (no run may meet a server in mid-reset), a PulseAudio
# daemon with a private runtime directory, and GStreamer registries brought up
# to date for both word sizes. Stops what it started.
#   bench/run-with-stack.sh BUILD_DIR BASELINE_DIR [--runs N]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR BASELINE_DIR [--runs N]}" && pwd)
shift
stack=$(mktemp -d /tmp/tarvek-bench-stack.XXXXXX)
pids=
stop_stack() {
  for pid in $pids; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$stack"
}
trap stop_stack EXIT
trap 'exit 1' INT TERM
# Each is a simple command of this script, so it dies should the script be killed outright.
orphan_safe="setpriv --pdeathsig TERM --"
fail() { echo "run-with-stack: $*" >&2; cat "$stack"/*.log >&2 || true; exit 1; }

# -displayfd: the server picks a free display and names it once it takes clients.
mkfifo "$stack/displayfd"
$orphan_safe Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 \
  3>"$stack/displayfd" 2>"$stack/xvfb.log" &
pids=$!
read -r -t 30 display <"$stack/displayfd" || fail "Xvfb did not start"
export DISPLAY=":$display" XDG_RUNTIME_DIR="$stack/runtime"

mkdir -m 700 "$XDG_RUNTIME_DIR" "$stack/pulse-home"
HOME="$stack/pulse-home" $orphan_safe pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --disallow-exit -L module-native-protocol-unix -L module-null-sink \
  --log-target=file:"$stack/pulse.log" 2>>"$stack/pulse.log" &
pids="$! $pids"
for _ in $(seq 100); do pulseaudio --check 2>/dev/null && break || sleep 0.1; done
pulseaudio --check 2>/dev/null || fail "PulseAudio did not start"

# A stale registry makes the next start of GStreamer rescan every plugin.
for bits in 64 32; do
  timeout 600 "$build/bench/gst-work$bits" || fail "the $bits-bit GStreamer did not start"
done
echo "stack: Xvfb -noreset on $DISPLAY, PulseAudio in $XDG_RUNTIME_DIR, GStreamer registries warm"
status=0
$orphan_safe "$build/bench/tarvek-bench" "$@" || status=$?
exit "$status"
