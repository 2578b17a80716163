# Shared by the scripts that drive the editor from outside on a real X server (sourced).

# Exit 77 (skipped) without Xvfb or xdotool.
xvfb_require() {
  if ! command -v xvfb-run >/dev/null || ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
    echo "SKIP: Xvfb (xvfb-run) or xdotool is not installed"
    exit 77
  fi
}

# A temporary folder $work (removed on exit) with the settings folder $MOVARA_HOME and the
# demo project in $work/demo; the programs started from here go to the X server.
xvfb_demo_home() {
  local prog=$1
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export MOVARA_HOME="$work/home"
  mkdir -p "$MOVARA_HOME"
  unset QT_QPA_PLATFORM
  if ! "$prog" demo "$work/demo" >"$work/demo.log" 2>&1; then
    cat "$work/demo.log"
    exit 1
  fi
}

# The settings lines that put the main window at the screen's corner and the project
# window at the MDI area's corner (the scripts click into row A at +600, +190).
xvfb_layout_ini() {
  printf '%s\n' "[Main App]" "Left=0" "Top=0" "Width=1000" "Height=700" "Window State=0" "Visible=1" \
    "[Time Line]" "Left=0" "Top=0" "Width=900" "Height=420" "Window State=0" "Visible=1"
}

# The first shown window whose name matches $1, within 60 s. Shown only: xdotool matches
# names in any case, and the program's hidden leader window is called "movara".
xvfb_wait_window() {
  timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Clicks into row A of the time line of the main window $1 (below the menu bar, the
# child's title bar and the rows above), so that keys go to the time line.
xvfb_click_time_line() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --sync $((X + 600)) $((Y + 190)) click 1
  sleep 0.5
}

# Ctrl+Q, then waits up to 30 s for process $1 to end; on failure says $2, kills it and
# exits 1; else exits with the program's status.
xvfb_quit() {
  local pid=$1
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: movara did not close on Ctrl+Q ($2)"
    kill -9 "$pid"
    exit 1
  fi
  wait "$pid"
  exit $?
}
