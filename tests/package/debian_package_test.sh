#!/usr/bin/env bash
# debian_package_test.sh SOURCE WORK: builds the package twice with the
# distribution's tools, in copies of SOURCE at two paths under WORK; the two
# must be identical and lintian must find no error or warning. The package
# then installs on the Debian 11 userland (thrown away after), where both
# programs answer --version and run to a complete report.
set -euo pipefail
src=$1 work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf -- "$work"
for copy in first second-copy; do
  mkdir -p "$work/$copy/tarvek"
  git -C "$src" ls-files -z --cached --others --exclude-standard |
    tar -C "$src" --null --ignore-failed-read -T - -cf - | tar -C "$work/$copy/tarvek" -xf -
  (cd "$work/$copy/tarvek" && dpkg-buildpackage -b -us -uc -j2 >../build.log 2>&1) ||
    { tail -n 30 "$work/$copy/build.log"; fail "the package did not build"; }
done
for deb in "$work"/first/*.deb; do
  cmp "$deb" "$work/second-copy/${deb##*/}" || fail "${deb##*/} differs between the two builds"
done
lintian --fail-on error,warning "$work"/first/*.changes || fail "lintian"

deb=$(cd "$work/first" && echo tarvek_*_amd64.deb)
version=$(dpkg-deb -f "$work/first/$deb" Version)
# Both C libraries, as old as the programs' floor allows.
depends=$(dpkg-deb -f "$work/first/$deb" Depends)
[ "$depends" = "libc6 (>= 2.17), libc6-i386 (>= 2.17)" ] || fail "Depends: $depends"
# The distribution's build flags (fortify, stack protector) keep the floor.
dpkg-deb -x "$work/first/$deb" "$work/root"
for program in tarvek tarvek64; do
  newest=$(objdump -T "$work/root/usr/bin/$program" | grep -o 'GLIBC_[0-9.]*' | sort -uV | tail -n 1)
  [ "$(printf '%s\n' "$newest" GLIBC_2.17 | sort -V | tail -n 1)" = GLIBC_2.17 ] ||
    fail "$program needs $newest"
done

"$src/scripts/userland.sh" make bullseye
# Where this kernel runs no 32-bit program, the package is still built,
# installed and its 64-bit program run.
programs="tarvek tarvek64"
if [ -n "${TARVEK_NO_32BIT_RUNS:-}" ]; then
  programs=tarvek64
  echo "tarvek: not run: $TARVEK_NO_32BIT_RUNS"
fi
# What the package installed, then each program's version and the first and
# last sections of its report: the table's first library to the X11 check's.
out=$("$src/scripts/userland.sh" sandbox bullseye "$work/first" "
  apt-get install -y -q --no-install-recommends /opt/tarvek/$deb >&2 &&
  dpkg -L tarvek | grep -e /bin/ -e /man1/ | sort &&
  for program in $programs; do
    \$program --version && \$program >/tmp/report && grep '^\\[' /tmp/report | sed -n '1p;\$p' || exit
  done") || fail "installing or running the package on Debian 11: $out"
expected=$(printf '%s\n' /usr/bin/tarvek /usr/bin/tarvek64 /usr/share/man/man1/tarvek.1.gz \
  /usr/share/man/man1/tarvek64.1.gz)
for program in $programs; do
  suffix=${program#tarvek}; suffix=${suffix:+.amd64}
  expected+=$(printf '\n%s' "$program $version" "[MissingLibFreetype$suffix]" "[MissingLibX11$suffix]")
done
[ "$out" = "$expected" ] || fail "the installed package on Debian 11: $(diff <(echo "$expected") <(echo "$out"))"
