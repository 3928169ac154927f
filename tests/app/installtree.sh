#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree a desktop expects: the
# binary runs, the launcher and metainfo validate, every icon size is there at its size,
# and the manual page renders without warnings and names every option of --help.
# Usage: installtree.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2

identify=/usr/bin/identify # ImageMagick's, not another one earlier in PATH
for tool in desktop-file-validate appstreamcli man "$identify"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup)"; exit 77; }
done

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

help=$("$prefix/bin/tavrel" --help) || fail "the installed tavrel --help failed"
grep -q '^Usage: tavrel' <<<"$help" || fail "--help printed no usage"

desktop="$prefix/share/applications/tavrel.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Icon=tavrel' "$desktop" || fail "the desktop entry names another icon"
grep -q '^Categories=.*Office;' "$desktop" || fail "the desktop entry is not in Office"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not the installed binary"

appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml ||
  fail "the metainfo does not validate"

icons="$prefix/share/icons/hicolor"
[ -f "$icons/scalable/apps/tavrel.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png="$icons/${size}x${size}/apps/tavrel.png"
  [ -f "$png" ] || fail "no ${size}px icon"
  [ "$("$identify" -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not ${size}x${size}"
done

page="$prefix/share/man/man1/tavrel.1.gz"
[ -f "$page" ] || fail "no compressed manual page"
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l failed"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
grep -q 'EXIT STATUS' <<<"$rendered" || fail "the manual page has no EXIT STATUS"
# Every option the usage text names is in the page's synopsis or options.
for option in $(grep -oE '(^|[[:space:][])--?[a-z][a-z-]*' <<<"$help" | tr -d ' [' | sort -u); do
  grep -qE -e "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$rendered" || fail "the manual page does not mention $option"
done
echo "installed tree in order"
