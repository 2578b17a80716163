#!/usr/bin/env bash
# The install puts Movara where a Linux desktop finds it: installed into a temporary
# prefix, the program runs from there, the applications menu's entry starts it with a
# file, the icon is there, and the MIME database built from the installed type gives
# a project its type by name and by content.
set -u
build=${1:?usage: DesktopInstall.sh BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR= cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }
share="$prefix/share"
for f in bin/movara bin/movara-editor share/movara/AUDIOCLIP.bmp share/movara/help/index.html share/applications/movara.desktop \
         share/icons/hicolor/scalable/apps/movara.svg share/mime/packages/movara.xml; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
desktop="$share/applications/movara.desktop"
grep -qx 'Exec=movara %f' "$desktop" || fail "the menu entry does not start movara with the file"
grep -qx 'Icon=movara' "$desktop" || fail "the menu entry names no icon"
grep -qx 'MimeType=application/x-movara-project;' "$desktop" || fail "the menu entry does not take projects"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
# the installed program runs from its place and finds its data there
MOVARA_HOME="$work/home" "$prefix/bin/movara" effects >"$work/effects.txt" 2>&1 || { cat "$work/effects.txt"; fail "the installed program does not run"; }
[ "$(wc -l <"$work/effects.txt")" -gt 60 ] || fail "the installed program lists no effects"

if command -v update-mime-database >/dev/null; then
  # the install ran it already; the type is in the database it built
  [ -f "$share/mime/globs2" ] || update-mime-database "$share/mime" >/dev/null 2>&1
  grep -q '^[0-9]*:application/x-movara-project:\*\.mvf' "$share/mime/globs2" || fail "*.mvf has no type"
  grep -q 'application/x-movara-project' "$share/mime/magic" || fail "a project's content has no type"
fi
echo "installed into $prefix: program, data, menu entry, icon and the project type"
