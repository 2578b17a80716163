#!/usr/bin/env bash
# startup_bench.sh - from `movara PROJECT.mvf` to the main window painted with the
# project's time line (goal: 1 s for the demo project, 2 s for 10,000 blocks).
#
# Usage: bash bench/startup_bench.sh [offscreen|xvfb]   (default: offscreen; xvfb runs
# the program on a real X server under Xvfb, window manager-less)
#
# Each run starts the program afresh (process start, Qt, the windows, reading the
# settings, opening the project and its media, the first paint of the time line): the
# launcher passes its clock in MOVARA_BENCH_T0 just before it starts the program, and
# the program prints "startup_ms N" once the time line is painted, then closes. The
# first run of each project is a warm-up (file cache), then RUNS (5) runs; the median and
# the slowest are printed, and the median processor time of the process up to that
# moment (user and system: on a machine busy with other work the wall time stretches,
# this does not). Every run starts with no settings file (a first start).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
MOVARA=${MOVARA:-$root/build/movara}
RUNS=${RUNS:-5}
MODE=${1:-offscreen}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$MOVARA" demo "$work/demo" >/dev/null 2>&1
mkdir -p "$work/big"
"$root/build/movara_bench_project" --blocks 10000 "$work/big/blocks.mvf" >/dev/null

one() {  # project -> milliseconds
  rm -rf "$work/home" && mkdir -p "$work/home"
  local out
  if [ "$MODE" = xvfb ]; then
    out=$(MOVARA_HOME="$work/home" xvfb-run -a -s "-screen 0 1280x1024x24" \
      env -u QT_QPA_PLATFORM bash -c 'MOVARA_BENCH_T0=$(date +%s%N) exec "$0" "$1"' "$MOVARA" "$1" 2>&1)
  else
    out=$(MOVARA_HOME="$work/home" QT_QPA_PLATFORM=offscreen \
      bash -c 'MOVARA_BENCH_T0=$(date +%s%N) exec "$0" "$1"' "$MOVARA" "$1" 2>&1)
  fi
  echo "$out" | awk '/^startup_ms/ {print $2, $4}'
}

for p in "demo:$work/demo/demo.mvf" "10000 blocks:$work/big/blocks.mvf"; do
  name=${p%%:*}
  file=${p#*:}
  one "$file" >/dev/null
  times=()
  for _ in $(seq 1 "$RUNS"); do times+=("$(one "$file")"); done
  wall=$(printf '%s\n' "${times[@]}" | awk '{print $1}' | sort -n)
  cpu=$(printf '%s\n' "${times[@]}" | awk '{print $2}' | sort -n)
  mid=$(( (RUNS + 1) / 2 ))
  printf '%-13s %s: median %.0f ms, slowest %.0f ms; processor time median %.0f ms (%d runs)\n' "$name" "$MODE" \
    "$(echo "$wall" | sed -n "${mid}p")" "$(echo "$wall" | tail -n 1)" "$(echo "$cpu" | sed -n "${mid}p")" "$RUNS"
done
