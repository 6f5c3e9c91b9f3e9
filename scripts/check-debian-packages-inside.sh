# Run inside a release's userland by check-debian-packages.sh, on the table
# lines of that release: downloads each package once per architecture and
# looks for the files each row says its packages hold.
set -u
table=$1
dir=/tmp/debian-packages
mkdir -p "$dir" && cd "$dir" || exit 1
apt-get update -qq >/dev/null 2>&1 || { echo "  apt-get update failed"; exit 1; }
status=0
tab=$(printf '\t')
while IFS="$tab" read -r release name packages files; do
  for arch in amd64 i386; do
    listing=""
    for p in $packages; do
      if [ ! -e "$p.$arch.list" ]; then
        rm -f ./*.deb
        if apt-get download -qq "$p:$arch" >/dev/null 2>&1; then
          dpkg-deb -c ./*.deb | awk '{ print $6 }' >"$p.$arch.list"
        else
          : >"$p.$arch.missing"; : >"$p.$arch.list"
        fi
      fi
      [ -e "$p.$arch.missing" ] && { echo "  $name: $p:$arch is not in the archive"; status=1; }
      listing="$listing $p.$arch.list"
    done
    for f in $files; do
      # shellcheck disable=SC2086
      cat $listing | grep -q "/$f\$" || { echo "  $name: no $f in $packages ($arch)"; status=1; }
    done
  done
  echo "  $name: checked" >>"$dir/checked"
done <"$table"
echo "  $(wc -l <"$dir/checked") rows checked on amd64 and i386"
exit $status
