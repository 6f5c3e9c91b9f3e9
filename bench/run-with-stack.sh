#!/usr/bin/env bash
# Runs tarvek-bench on the stack the programs check, set up as the tests set
# it up: a private Xvfb on a free display, a PulseAudio daemon with a private
# runtime directory, and a GStreamer registry brought up to date for both
# word sizes. Stops everything it started, whatever happens.
#   bench/run-with-stack.sh BUILD_DIR [tarvek-bench options...]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [tarvek-bench options...]}" && pwd)
shift

stack=$(mktemp -d /tmp/tarvek-bench-stack.XXXXXX)
xvfb_pid=
pulse_pid=
stop_stack() {
  for pid in $pulse_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$stack"
}
trap stop_stack EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# What this script starts gets SIGTERM should the script be killed outright,
# so that not even a test time-out leaves it running. Each is started as a
# simple command, so that its parent is this script and not a subshell.
orphan_safe="setpriv --pdeathsig TERM --"

fail() {
  echo "run-with-stack: $*" >&2
  for log in "$stack"/*.log; do [ -s "$log" ] && sed 's/^/  /' "$log" >&2; done
  exit 1
}

# -displayfd: the server picks a free display and writes its number once it
# accepts connections, so there is neither a race nor a guessed number.
start_xvfb() {
  mkfifo "$stack/displayfd"
  $orphan_safe Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
    3>"$stack/displayfd" 2>"$stack/xvfb.log" &
  xvfb_pid=$!
  local display=
  read -r -t 30 display <"$stack/displayfd" || true
  [ -n "$display" ] || fail "Xvfb did not start"
  export DISPLAY=":$display"
}

# As root, with its own runtime directory and home, so it meets no other
# daemon and leaves no files behind; it never exits on being idle.
start_pulseaudio() {
  export XDG_RUNTIME_DIR="$stack/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR" "$stack/pulse-home"
  HOME="$stack/pulse-home" $orphan_safe pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L module-native-protocol-unix -L module-null-sink \
    --log-target=file:"$stack/pulse.log" 2>>"$stack/pulse.log" &
  pulse_pid=$!
  for _ in $(seq 100); do
    pulseaudio --check 2>/dev/null && return 0
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "PulseAudio did not start"
}

# A stale registry makes the first GStreamer initialisation rescan every
# plugin; that belongs to no measured run.
warm_gstreamer() {
  for bits in 64 32; do
    timeout 600 "$build/bench/gst-warm$bits" || echo "run-with-stack: no $bits-bit GStreamer registry" >&2
  done
}

start_xvfb
start_pulseaudio
warm_gstreamer
status=0
$orphan_safe "$build/bench/tarvek-bench" "$@" || status=$?
exit "$status"
