#!/usr/bin/env bash
# Recovery after a kill, on a real X server: movara starts on the demo project with a
# recovery copy every second, Ctrl+E gives the transitions random effects twice, the
# copy is written, and the editor is killed with SIGKILL. Started again, it asks whether
# to restore the unsaved changes; Enter says yes, Ctrl+S saves the restored project
# over its own file and Ctrl+Q closes. The saved project must make the same film script
# as the last copy before the kill, and another than the demo project did; no copy may
# be left. Exit 77 (skipped) without Xvfb or xdotool.
set -u
prog=${1:?usage: RecoveryXvfb.sh MOVARA}
. "$(dirname "$0")/../../support/XvfbCommon.sh"

if [ "${2:-}" = --inside ]; then
  project=$3
  work=$4
  "$prog" "$project" >"$work/editor1.log" 2>&1 &
  pid=$!
  wid=$(xvfb_wait_window '^Movara$')
  [ -n "$wid" ] || { echo "FAIL: no window named Movara appeared"; kill -9 "$pid"; exit 1; }
  sleep 2  # the project opens
  xvfb_click_time_line "$wid"
  xdotool key --clearmodifiers ctrl+e
  sleep 0.5
  xdotool key --clearmodifiers ctrl+e
  copy="$MOVARA_HOME/recovery/movara-$pid.mvf"
  for _ in $(seq 1 50); do
    [ -s "$copy" ] && break
    sleep 0.2
  done
  sleep 1.5  # a copy after the last edit
  [ -s "$copy" ] || { echo "FAIL: no recovery copy $copy"; kill -9 "$pid"; exit 1; }
  cp "$copy" "$work/last-copy.mvf"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null

  "$prog" >"$work/editor2.log" 2>&1 &
  pid=$!
  ask=$(xvfb_wait_window 'Odzyskiwanie projektu')
  [ -n "$ask" ] || { echo "FAIL: no recovery question"; kill -9 "$pid"; exit 1; }
  xdotool windowactivate --sync "$ask" 2>/dev/null || xdotool windowfocus --sync "$ask"
  sleep 0.3
  xdotool key --clearmodifiers Return
  wid=$(xvfb_wait_window '^Movara$')
  [ -n "$wid" ] || { echo "FAIL: no window named Movara after the recovery"; kill -9 "$pid"; exit 1; }
  sleep 2
  xvfb_click_time_line "$wid"
  xdotool key --clearmodifiers ctrl+s
  sleep 1
  xvfb_quit "$pid" "the restored project unsaved?"
fi

xvfb_require
xvfb_demo_home "$prog"
{
  xvfb_layout_ini
  echo "[Application Options]"
  echo "AutoSaveSeconds=1"
} >"$MOVARA_HOME/Movara.Ini"
"$prog" script "$work/demo/demo.mvf" >"$work/before.txt" 2>&1 || { cat "$work/before.txt"; exit 1; }
xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$prog" --inside "$work/demo/demo.mvf" "$work"
rc=$?
if [ $rc -ne 0 ]; then
  echo "FAIL: the run ended with $rc"
  cat "$work"/editor*.log
  exit 1
fi
fail=0
"$prog" script "$work/last-copy.mvf" >"$work/copy.txt" 2>&1 || { echo "FAIL: the copy makes no script"; fail=1; }
"$prog" script "$work/demo/demo.mvf" >"$work/after.txt" 2>&1 || { echo "FAIL: the saved project makes no script"; fail=1; }
cmp -s "$work/copy.txt" "$work/after.txt" || { echo "FAIL: the restored project is not the last copy"; diff "$work/copy.txt" "$work/after.txt" | head -20; fail=1; }
cmp -s "$work/before.txt" "$work/after.txt" && { echo "FAIL: the edits were lost"; fail=1; }
left=$(ls -A "$MOVARA_HOME/recovery" 2>/dev/null)
[ -z "$left" ] || { echo "FAIL: copies left after the save: $left"; fail=1; }
[ $fail -eq 0 ] || cat "$work"/editor*.log
exit $fail
