#!/usr/bin/env bash
# Builds the Debian package of this build, unpacks it into a fresh root and runs the
# program installed there: --help, and --init --demo in an empty folder.
# Usage: package.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1
build=$2
version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
deb="$work/out/tavrel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libsqlite3-0 fonts-liberation2; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
tavrel="$root/usr/bin/tavrel"
[ -x "$tavrel" ] || fail "the package holds no usr/bin/tavrel"
[ -f "$root/usr/share/applications/tavrel.desktop" ] || fail "the package holds no desktop entry"

"$tavrel" --help | grep -q '^Usage: tavrel' || fail "the packaged tavrel --help failed"
site="$work/site"
mkdir "$site"
(cd "$site" && "$tavrel" --init --demo) || fail "the packaged tavrel --init --demo failed"
[ -s "$site/tavrel.mdb" ] && [ -s "$site/rptspec.mdb" ] || fail "--init --demo wrote no site"
echo "package $(basename "$deb") in order"
