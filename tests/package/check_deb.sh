#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root
# and runs the installed program there on a real tree, through the installed
# copier: what a user who installs the package gets.
#   check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/qmr_*_amd64.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
[[ $depends == *libc6* ]] || { echo "dependencies were not computed: '$depends'"; exit 1; }

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/qmr usr/libexec/qmr/xcopy usr/share/man/man1/qmr.1 usr/share/man/man1/xcopy.1; do
  [ -e "$root/$file" ] || [ -e "$root/$file.gz" ] || { echo "missing from the package: $file"; exit 1; }
done

tree="$scratch/tree"
mkdir -p "$tree/src/sub dir/.hidden" "$tree/dst"
printf 'one\n' >"$tree/src/a.txt"
printf 'two\n' >"$tree/src/sub dir/b.txt"
printf 'three\n' >"$tree/src/sub dir/.hidden/c"
# Run from elsewhere, with a PATH that has no other xcopy, so the installed
# program must find the copier beside itself.
status=0
(cd / && env PATH=/usr/bin:/bin "$root/usr/bin/qmr" "$tree/src" "$tree/dst" </dev/null >"$scratch/output") ||
  status=$?
if [ "$status" -ne 0 ] || ! diff -r "$tree/src" "$tree/dst"; then
  echo "the installed program did not copy the tree (exit $status):"
  cat -v "$scratch/output"
  exit 1
fi
echo "the installed qmr copied a tree through the installed xcopy"
