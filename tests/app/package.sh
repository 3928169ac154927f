#!/usr/bin/env bash
# Builds the Debian package as it is shipped (scripts/package: a Release build of the
# program alone, in a folder of its own so that the sanitizer build is not what gets
# packaged), checks it against Debian's policy with lintian, unpacks it into a fresh root
# and runs the program installed there: --help, and --init --demo in an empty folder.
# Usage: package.sh SOURCE_DIR PACKAGE_BUILD_DIR VERSION
set -euo pipefail
source_dir=$1
build=$2
version=$3

command -v lintian >/dev/null || { echo "SKIP: lintian is not installed (scripts/setup)"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The sanitizer build's settings must not reach the Release build.
unset CXXFLAGS LDFLAGS
rm -f "$build"/*.deb
started=$SECONDS
"$source_dir/scripts/package" "$build" >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "scripts/package failed"; }
echo "scripts/package took $((SECONDS - started)) s"
deb="$build/tavrel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$build")"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libsqlite3-0 fonts-liberation2 fonts-dejavu-core; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

# Any error or warning of lintian fails the test (its notes, I:, are shown).
if ! lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.log" 2>&1; then
  cat "$work/lintian.log"
  fail "lintian finds errors or warnings in the package"
fi
cat "$work/lintian.log"

root="$work/root"
dpkg -x "$deb" "$root"
tavrel="$root/usr/bin/tavrel"
[ -x "$tavrel" ] || fail "the package holds no usr/bin/tavrel"
[ -f "$root/usr/share/applications/tavrel.desktop" ] || fail "the package holds no desktop entry"

# The copyright file states the licence the metainfo names.
doc="$root/usr/share/doc/tavrel"
license=$(sed -n 's|.*<project_license>\(.*\)</project_license>.*|\1|p' \
  "$root"/usr/share/metainfo/*.metainfo.xml)
[ -n "$license" ] || fail "the metainfo names no licence"
grep -qx "License: $license" "$doc/copyright" ||
  fail "the copyright file does not state the metainfo's licence $license"
# The changelog's latest entry is this version.
latest=$(zcat "$doc/changelog.gz" | sed -n 1p)
grep -q "^tavrel ($version) " <<<"$latest" || fail "the changelog's latest entry is not $version: $latest"

# Read the whole text before matching: grep -q would stop reading at the first line, and
# under pipefail the program's later write to the closed pipe would count as a failure.
help=$("$tavrel" --help) || fail "the packaged tavrel --help failed"
grep -q '^Usage: tavrel' <<<"$help" || fail "the packaged tavrel --help printed no usage"
site="$work/site"
mkdir "$site"
(cd "$site" && "$tavrel" --init --demo) || fail "the packaged tavrel --init --demo failed"
[ -s "$site/tavrel.mdb" ] && [ -s "$site/rptspec.mdb" ] || fail "--init --demo wrote no site"
echo "package $(basename "$deb") in order"
