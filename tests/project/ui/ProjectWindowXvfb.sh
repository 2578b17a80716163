#!/usr/bin/env bash
# The project window on a real X server: movara starts on the demo project under Xvfb
# with the windows where a settings file puts them; a click puts the keyboard in the
# time line, keypad plus zooms in one step, Ctrl+S saves the project and Ctrl+Q closes
# the editor. The saved project and the settings file must hold the new zoom step.
# Exit 77 (skipped) without Xvfb or xdotool.
set -u
prog=${1:?usage: ProjectWindowXvfb.sh MOVARA}

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
  sleep 2  # the project opens
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  # row A of the time line: below the menu bar, the child's title bar and the rows above
  xdotool mousemove --sync $((X + 600)) $((Y + 190)) click 1
  sleep 0.5
  xdotool key --clearmodifiers KP_Add
  sleep 0.5
  xdotool key --clearmodifiers ctrl+s
  sleep 1
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: movara did not close on Ctrl+Q (an unsaved project?)"
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
# the main window at the screen's corner, the project window at the MDI area's corner
cat >"$MOVARA_HOME/Movara.Ini" <<INI
[Main App]
Left=0
Top=0
Width=1000
Height=700
Window State=0
Visible=1
[Time Line]
Left=0
Top=0
Width=900
Height=420
Window State=0
Visible=1
Zoom=5
INI
before=$(od -An -tu1 -j5 -N1 "$work/demo/demo.mvf" | tr -d ' ')
xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$prog" --inside "$work/demo/demo.mvf"
rc=$?
if [ $rc -ne 0 ]; then
  echo "FAIL: the editor ended with $rc"
  cat "$work/editor.log"
  exit 1
fi
fail=0
after=$(od -An -tu1 -j5 -N1 "$work/demo/demo.mvf" | tr -d ' ')
[ "$after" = $((before - 1)) ] || { echo "FAIL: the saved zoom step is $after, was $before"; fail=1; }
grep -qx "Zoom=$((before - 1))" "$MOVARA_HOME/Movara.Ini" || { echo "FAIL: the settings keep another zoom"; fail=1; }
[ $fail -eq 0 ] || { cat "$MOVARA_HOME/Movara.Ini"; cat "$work/editor.log"; }
exit $fail
