#!/usr/bin/env bash
# A film made from the editor by a scripted user on a real X server: movara opens the
# demo project under Xvfb, the user presses Ctrl+M, then Enter in "Własności
# generowanego filmu"; the progress window "Generowanie filmu AVI" comes and goes, the
# user quits with Ctrl+Q, and ffprobe reads the film: every frame of the project and its
# sound; the settings file then holds the windows' places, a clean close and the project
# as the first recent one. Exit 77 (skipped) without Xvfb, xdotool or ffprobe.
# TIMING=1 prints the seconds from Enter to the end of the progress window.
set -u
prog=${1:?usage: FilmUnderXvfb.sh MOVARA}

if [ "${2:-}" = --inside ]; then
  project=$3
  "$prog" "$project" >"$MOVARA_HOME/../editor.log" 2>&1 &
  pid=$!
  fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }
  # a shown window only: xdotool matches names in any case, and the program's hidden
  # leader window is called "movara"
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Movara$' | head -n 1)
  [ -n "$wid" ] || fail "no window named Movara appeared"
  sleep 1  # let the project open
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  xdotool key --clearmodifiers ctrl+m
  dialog=$(timeout 30 xdotool search --sync --name 'Własności generowanego filmu' | head -n 1)
  [ -n "$dialog" ] || fail "Ctrl+M showed no settings window"
  xdotool windowfocus --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
  sleep 0.3
  start=$(date +%s.%N)
  xdotool key --clearmodifiers Return
  progress=$(timeout 30 xdotool search --sync --name 'Generowanie filmu AVI' | head -n 1)
  [ -n "$progress" ] || fail "Enter started no film"
  # a search can fail on a window closing under it (BadWindow): the progress window is
  # gone when three searches in a row find nothing
  absent=0
  for _ in $(seq 1 6000); do
    if [ -n "$(xdotool search --name 'Generowanie filmu AVI' 2>/dev/null)" ]; then absent=0; else absent=$((absent + 1)); fi
    [ $absent -ge 3 ] && break
    sleep 0.05
  done
  end=$(date +%s.%N)
  [ $absent -ge 3 ] || fail "the film did not end in 5 minutes"
  [ "${TIMING:-0}" = 1 ] && echo "editor_seconds $(echo "$end - $start" | bc)"
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$pid" 2>/dev/null && fail "movara did not close on Ctrl+Q"
  wait "$pid"
  exit $?
fi

for p in xvfb-run Xvfb xdotool ffprobe ffmpeg bc; do
  command -v "$p" >/dev/null || { echo "SKIP: $p is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MOVARA_HOME="$work/home"
mkdir -p "$MOVARA_HOME"
unset QT_QPA_PLATFORM
project=${PROJECT:-}
if [ -z "$project" ]; then
  "$prog" demo "$work/demo" >"$work/demo.log" 2>&1 || { cat "$work/demo.log"; exit 1; }
  project="$work/demo/demo.mvf"
fi
film="$work/film.AVI"
# the settings the window starts from: the film's place, nothing opened afterwards, and
# whatever else the caller asks for (SETTINGS: more "Key=Value" lines)
{
  echo "[AviFormatSection]"
  echo "FileName=$film"
  echo "OpenAfterFinished=0"
  [ -n "${SETTINGS:-}" ] && printf '%s\n' "$SETTINGS"
} >"$MOVARA_HOME/Movara.Ini"
xvfb-run -a -n 171 -s "-screen 0 1280x1024x24" bash "$0" "$prog" --inside "$project"
rc=$?
if [ $rc -ne 0 ]; then
  echo "FAIL: the editor ended with $rc"
  cat "$work/editor.log"
  exit 1
fi
[ -f "$film" ] || { echo "FAIL: no film at $film"; exit 1; }
# every frame of the project: its length from the script the command line makes
length_ms=$("$prog" script "$project" | tr -d '\r' | awk '/^\*\*\* Video1/{v=1;next} /^\*\*\*/{v=0} v && NF>=2 && $NF ~ /^[0-9]+$/ {t+=$NF} END{print t+0}')
want=$(( (length_ms + 39) / 40 ))
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$film")
audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$film")
fail=0
[ "$frames" = "$want" ] || { echo "FAIL: $frames frames in the film, the project has $want"; fail=1; }
[ -n "$audio" ] || { echo "FAIL: the film has no sound"; fail=1; }
if ! errors=$(ffmpeg -v error -xerror -i "$film" -f null - 2>&1) || [ -n "$errors" ]; then
  echo "FAIL: ffmpeg does not decode the film cleanly: $errors"
  fail=1
fi
# the settings file the editor left: every window's place, a clean close, the project
# first among the recent ones, the film's settings as the window kept them
ini="$MOVARA_HOME/Movara.Ini"
for section in "Main App" "Time Line" "Resources" "Sequences" "AviFormatSection"; do
  grep -qF "[$section]" "$ini" || { echo "FAIL: no [$section] in the settings file"; fail=1; }
done
grep -qx "Failed Run Count=0" "$ini" || { echo "FAIL: the close was not clean"; fail=1; }
grep -qx "Recent File 0=$(realpath "$project")" "$ini" || { echo "FAIL: the project is not the first recent one"; fail=1; }
grep -qx "FileName=$film" "$ini" || { echo "FAIL: the film's name was not kept"; fail=1; }
[ $fail -eq 0 ] || cat "$ini"
[ $fail -eq 0 ] && echo "film of $frames frames with $audio sound made from the editor; settings kept"
exit $fail
