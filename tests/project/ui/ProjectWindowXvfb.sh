#!/usr/bin/env bash
# The project window on a real X server: movara starts on the demo project under Xvfb
# with the windows where a settings file puts them; a click puts the keyboard in the
# time line, keypad plus zooms in one step, Ctrl+S saves the project and Ctrl+Q closes
# the editor. The saved project and the settings file must hold the new zoom step.
# Exit 77 (skipped) without Xvfb or xdotool.
set -u
prog=${1:?usage: ProjectWindowXvfb.sh MOVARA}
. "$(dirname "$0")/../../support/XvfbCommon.sh"

if [ "${2:-}" = --inside ]; then
  project=$3
  "$prog" "$project" >"$MOVARA_HOME/../editor.log" 2>&1 &
  pid=$!
  wid=$(xvfb_wait_window '^Movara$')
  if [ -z "$wid" ]; then
    echo "FAIL: no window named Movara appeared"
    kill "$pid" 2>/dev/null
    exit 1
  fi
  sleep 2  # the project opens
  xvfb_click_time_line "$wid"
  xdotool key --clearmodifiers KP_Add
  sleep 0.5
  xdotool key --clearmodifiers ctrl+s
  sleep 1
  xvfb_quit "$pid" "an unsaved project?"
fi

xvfb_require
xvfb_demo_home "$prog"
{
  xvfb_layout_ini
  echo "Zoom=5"
} >"$MOVARA_HOME/Movara.Ini"
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
