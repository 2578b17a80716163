#!/usr/bin/env bash
# The editor on a real X server: starts movara on the demo project under Xvfb, waits
# for the main window, closes it with the keyboard and checks that the settings file
# got the sections of the windows. Exit 77 (skipped) without Xvfb or xdotool.
set -u
prog=${1:?usage: EditorSmoke.sh MOVARA}

if [ "${2:-}" = --inside ]; then
  project=$3
  "$prog" "$project" >"$MOVARA_HOME/../editor.log" 2>&1 &
  pid=$!
  # a shown window only: xdotool matches names in any case, and the program's hidden
  # leader window is called "movara"
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Movara$' | head -n 1)
  if [ -z "$wid" ]; then
    echo "FAIL: no window named Movara appeared"
    kill "$pid" 2>/dev/null
    exit 1
  fi
  sleep 1  # let the project open
  xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: movara did not close on Ctrl+Q"
    kill "$pid"
    exit 1
  fi
  wait "$pid"
  exit $?
fi

if ! command -v xvfb-run >/dev/null || ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "SKIP: Xvfb (xvfb-run) or xdotool is not installed"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MOVARA_HOME="$work/home"
mkdir -p "$MOVARA_HOME"
unset QT_QPA_PLATFORM
if ! "$prog" demo "$work/demo" >"$work/demo.log" 2>&1; then
  cat "$work/demo.log"
  exit 1
fi
xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$prog" --inside "$work/demo/demo.mvf"
rc=$?
if [ $rc -ne 0 ]; then
  echo "FAIL: the editor ended with $rc"
  cat "$work/editor.log"
  exit 1
fi
ini="$MOVARA_HOME/Movara.Ini"
fail=0
for section in "Main App" "Time Line" "Resources" "Sequences"; do
  grep -qF "[$section]" "$ini" || { echo "FAIL: no [$section] in $ini"; fail=1; }
done
# a clean close writes the failed-start counter back, and the opened project is recent
grep -qx "Failed Run Count=0" "$ini" || { echo "FAIL: the close was not clean"; fail=1; }
grep -qx "Recent File 0=$work/demo/demo.mvf" "$ini" || { echo "FAIL: the project did not open"; fail=1; }
[ $fail -eq 0 ] || cat "$ini"
exit $fail
