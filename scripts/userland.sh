#!/usr/bin/env bash
# A minimal Debian userland of another release, on which the tests run the
# programs as a user of that release would (as root):
#   scripts/userland.sh make SUITE                  e.g. bullseye
#   scripts/userland.sh run SUITE PROGRAM [ARGS...]
#   scripts/userland.sh sandbox SUITE FOLDER SCRIPT
#   scripts/userland.sh pipewire SUITE PACKAGES PROGRAM [ARGS...]
# make: debootstrap --variant=minbase from the mirror this machine's apt
# already uses, plus the packages of added_packages below. The tree is
# kept between runs outside the checkout; a stamp marks it complete, so a
# second make returns at once and an interrupted one starts over. Packages
# added to the list later are installed into a complete tree that lacks them.
# run: runs PROGRAM in the tree with a clean environment, its folder seen
# read-only at /opt/tarvek.
# sandbox: runs the shell SCRIPT as root in the tree with FOLDER at
# /opt/tarvek, its changes kept in an overlay that is thrown away after.
# pipewire: runs PROGRAM as run does, but in a throw-away overlay from which
# PACKAGES (blank-separated, their dependents with them; may be empty) are
# removed first, while PipeWire, WirePlumber and pipewire-pulse serve as root
# from a runtime folder of their own, as a desktop session's sound server
# would; PROGRAM's XDG_RUNTIME_DIR names that folder. The suite's tree must
# have them (trixie's does).
# All enter the tree in a private mount namespace, so nothing stays mounted
# on the host whatever becomes of the command.
set -euo pipefail
verb=${1:-} suite=${2:-}
if [ -z "$suite" ] || [[ ! $verb =~ ^(make|run|sandbox|pipewire)$ ]]; then
  echo "usage: userland.sh make SUITE | run SUITE PROGRAM [ARGS...] | sandbox SUITE FOLDER SCRIPT |" \
    "pipewire SUITE PACKAGES PROGRAM [ARGS...]" >&2
  exit 2
fi
shift 2
cache=/var/cache/tarvek/userlands
tree=$cache/$suite
stamp=$tree/.tarvek-complete
# Installed after debootstrap: the C library of the 32-bit program as
# multiarch and as the amd64 package's dependency.
added_packages="libc6:i386 libc6-i386"
# Per release, what its tests run on. trixie: a PipeWire desktop's sound (the
# server, its session manager, its PulseAudio server and ALSA plugin), and the
# client libraries and ALSA plugin modules of both word sizes.
case $suite in
  trixie)
    added_packages+=" pipewire wireplumber pipewire-pulse pipewire-alsa libasound2-plugins
      libasound2t64 libpulse0 pipewire-alsa:i386 libasound2-plugins:i386 libasound2t64:i386
      libpulse0:i386" ;;
esac

# The URI of the apt source for this machine's own release (deb822 first,
# then the one-line format), so that no mirror is ever written down here.
apt_mirror() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk -v want="$codename" 'BEGIN { RS = "" }
      { uri = ""; ok = 0
        n = split($0, line, "\n")
        for (i = 1; i <= n; i++) {
          if (line[i] ~ /^URIs:/) { split(line[i], w, /[ \t]+/); uri = w[2] }
          if (line[i] ~ /^Suites:/ && (" " line[i] " ") ~ (" " want " ")) ok = 1
        }
        if (ok && uri != "") { print uri; exit } }' "$f"
  done
  if [ -e /etc/apt/sources.list ]; then
    awk -v want="$codename" '$1 == "deb" { for (i = 2; i < NF; i++) if ($i !~ /^\[/) {
      if ($(i + 1) == want) print $i; break } }' /etc/apt/sources.list
  fi
}

# in_tree TREE BIND SCRATCH COMMAND...: COMMAND chrooted into TREE with
# /proc and /dev mounted, and BIND (unless empty) at /opt/tarvek; with a
# SCRATCH folder, into an overlay of TREE whose changes go there.
in_tree() {
  unshare -m --propagation private sh -c '
    tree=$1 bind=$2 scratch=$3; shift 3
    if [ -n "$scratch" ]; then
      mkdir "$scratch/changes" "$scratch/work" "$scratch/root" &&
        mount -t overlay overlay -o "lowerdir=$tree,upperdir=$scratch/changes,workdir=$scratch/work" \
          "$scratch/root" && tree=$scratch/root || exit 1
    fi
    mount -t proc proc "$tree/proc" && mount --rbind /dev "$tree/dev" &&
      { [ -z "$bind" ] || mount --bind -o ro "$bind" "$tree/opt/tarvek"; } &&
      exec chroot "$tree" "$@"' sh "$@"
}

fail() {
  tail -n 20 "$cache/$suite.log" >&2
  echo "userland: $1 (log: $cache/$suite.log)" >&2
  exit 1
}

make_tree() {
  [ -e "$stamp" ] && return 0
  mkdir -p "$cache"
  exec 9>"$cache/$suite.lock"
  flock 9
  [ -e "$stamp" ] && return 0
  local mirror work=$cache/$suite.partial
  mirror=$(apt_mirror | head -n 1)
  [ -n "$mirror" ] || { echo "userland: found no apt source of this release to take a mirror from" >&2; exit 1; }
  rm -rf -- "$work" "$tree"
  debootstrap --variant=minbase --arch=amd64 "$suite" "$work" "$mirror" >"$cache/$suite.log" 2>&1 ||
    fail "debootstrap of $suite failed"
  add_packages "$work" $added_packages
  mkdir -p "$work/opt/tarvek"
  touch "$work/.tarvek-complete"
  mv "$work" "$tree"
}

# add_packages TREE PACKAGE...: installs them from the archive.
add_packages() {
  local into=$1
  shift
  in_tree "$into" "" "" sh -c 'dpkg --add-architecture i386 && apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" &&
    apt-get clean' sh "$@" >>"$cache/$suite.log" 2>&1 || fail "adding $* to $suite failed"
}

# A complete tree made before a package joined the list gets it now.
add_missing_packages() {
  local p missing=()
  for p in $added_packages; do
    dpkg-query --admindir="$tree/var/lib/dpkg" -W -f='${Status}' "$p" 2>/dev/null |
      grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  exec 9>"$cache/$suite.lock"
  flock 9
  add_packages "$tree" "${missing[@]}"
}

# The pipewire verb's script, run in the overlay: $1 the packages to remove,
# then the program and its arguments. The servers' output goes to logs in the
# overlay, shown only when they do not come up; they are stopped by their ids.
pipewire_session='
  removed=$1; shift
  if [ -n "$removed" ]; then
    apt-get remove -y -q $removed >/var/log/tarvek-remove.log 2>&1 ||
      { cat /var/log/tarvek-remove.log >&2; exit 1; }
  fi
  export XDG_RUNTIME_DIR=/run/tarvek-sound
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  pipewire >/var/log/tarvek-pipewire.log 2>&1 & servers=$!
  wireplumber >/var/log/tarvek-wireplumber.log 2>&1 & servers="$servers $!"
  pipewire-pulse >/var/log/tarvek-pipewire-pulse.log 2>&1 & servers="$servers $!"
  tries=0
  until [ -S "$XDG_RUNTIME_DIR/pulse/native" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      tail -n 20 /var/log/tarvek-pipewire*.log /var/log/tarvek-wireplumber.log >&2
      kill $servers; wait
      echo "userland: the PipeWire servers did not come up" >&2
      exit 1
    fi
    sleep 0.1
  done
  "$@"
  status=$?
  kill $servers
  wait
  exit $status'

if [ "$verb" = make ]; then
  make_tree
  add_missing_packages
  exit 0
fi
[ -e "$stamp" ] || { echo "userland: $tree is not made: run scripts/userland.sh make $suite" >&2; exit 1; }
clean_env=(/usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
if [ "$verb" = sandbox ]; then
  folder=$(cd "${1:?usage: userland.sh sandbox SUITE FOLDER SCRIPT}" && pwd)
  scratch=$(mktemp -d "$cache/$suite.sandbox.XXXXXX")
  trap 'rm -rf -- "$scratch"' EXIT
  in_tree "$tree" "$folder" "$scratch" "${clean_env[@]}" DEBIAN_FRONTEND=noninteractive \
    sh -c "${2:?usage: userland.sh sandbox SUITE FOLDER SCRIPT}"
  exit 0
fi
if [ "$verb" = pipewire ]; then
  removed=${1?usage: userland.sh pipewire SUITE PACKAGES PROGRAM [ARGS...]}
  program=${2:?usage: userland.sh pipewire SUITE PACKAGES PROGRAM [ARGS...]}
  shift 2
  folder=$(cd "$(dirname "$program")" && pwd)
  scratch=$(mktemp -d "$cache/$suite.sandbox.XXXXXX")
  trap 'rm -rf -- "$scratch"' EXIT
  in_tree "$tree" "$folder" "$scratch" "${clean_env[@]}" DEBIAN_FRONTEND=noninteractive \
    sh -c "$pipewire_session" sh "$removed" "/opt/tarvek/$(basename "$program")" "$@"
  exit
fi
program=${1:?usage: userland.sh run SUITE PROGRAM [ARGS...]}
shift
folder=$(cd "$(dirname "$program")" && pwd)
in_tree "$tree" "$folder" "" "${clean_env[@]}" "/opt/tarvek/$(basename "$program")" "$@"
