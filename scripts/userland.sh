#!/usr/bin/env bash
# A minimal Debian userland of another release, on which the tests run the
# programs as a user of that release would (as root):
#   scripts/userland.sh make SUITE                  e.g. bullseye
#   scripts/userland.sh run SUITE PROGRAM [ARGS...]
# make: debootstrap --variant=minbase from the mirror this machine's apt
# already uses, plus the i386 C library for the 32-bit program. The tree is
# kept between runs outside the checkout; a stamp marks it complete, so a
# second make returns at once and an interrupted one starts over.
# run: runs PROGRAM in the tree with a clean environment, its folder seen
# read-only at /opt/tarvek. Both enter the tree in a private mount namespace,
# so nothing stays mounted on the host whatever becomes of the command.
set -euo pipefail
verb=${1:-} suite=${2:-}
if [ -z "$suite" ] || { [ "$verb" != make ] && [ "$verb" != run ]; }; then
  echo "usage: userland.sh make SUITE | run SUITE PROGRAM [ARGS...]" >&2
  exit 2
fi
shift 2
cache=/var/cache/tarvek/userlands
tree=$cache/$suite
stamp=$tree/.tarvek-complete

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

# in_tree TREE BIND COMMAND...: COMMAND chrooted into TREE with /proc and
# /dev mounted, and BIND (unless empty) at /opt/tarvek.
in_tree() {
  unshare -m --propagation private sh -c '
    tree=$1 bind=$2; shift 2
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
  in_tree "$work" "" sh -c 'dpkg --add-architecture i386 && apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libc6:i386 &&
    apt-get clean' >>"$cache/$suite.log" 2>&1 || fail "adding libc6:i386 to $suite failed"
  mkdir -p "$work/opt/tarvek"
  touch "$work/.tarvek-complete"
  mv "$work" "$tree"
}

if [ "$verb" = make ]; then
  make_tree
  exit 0
fi
program=${1:?usage: userland.sh run SUITE PROGRAM [ARGS...]}
shift
[ -e "$stamp" ] || { echo "userland: $tree is not made: run scripts/userland.sh make $suite" >&2; exit 1; }
folder=$(cd "$(dirname "$program")" && pwd)
in_tree "$tree" "$folder" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  "/opt/tarvek/$(basename "$program")" "$@"
