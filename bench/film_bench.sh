#!/usr/bin/env bash
# film_bench.sh - our film generation against the peer editors on the same 19-second film.
#
# Usage: bash bench/film_bench.sh [MEDIA_DIR] [OUT_DIR]   (defaults /tmp/benchmedia /tmp/benchout)
#
# Makes the media with ../shared/bench/make_media.sh when they are missing (two 10 s
# 720x576 25 fps MJPEG clips with PCM stereo sound), writes the project (clip A on row A,
# clip B on row B overlapping A by 25 frames, the fade $202 between them, the clips' sound
# on sound rows 1 and 2 crossing over in the overlap) with build/movara_bench_project, and
# times `movara render` in the three optimisation modes next to ffmpeg (xfade) and melt
# (dissolve) through ../shared/bench/peers.sh (MID_CHECK=0: the fade is not a linear
# cross-fade). Output: MJPG (quality 9655, the peers' q 3) + PCM.
#
# Environment: RUNS (3), MOVARA (build/movara), SHARED (../shared/bench), MODES ("none medium max"),
# PROFILE (0; 1: after the table, where our time goes in each mode: perf's shared objects,
# functions and threads, linux-perf installed here when it is missing).
# Needs: ffmpeg, ffprobe, melt, GNU time (apt-get install ffmpeg melt time).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
MEDIA=${1:-/tmp/benchmedia}
OUTDIR=${2:-/tmp/benchout}
SHARED=${SHARED:-$root/../shared/bench}
MOVARA=${MOVARA:-$root/build/movara}
PROJECT_TOOL=${PROJECT_TOOL:-$root/build/movara_bench_project}
MODES=${MODES:-none medium max}
export RUNS=${RUNS:-3}

for t in "$MOVARA" "$PROJECT_TOOL"; do
  [ -x "$t" ] || { echo "film_bench: $t is missing; build first (bash scripts/build.sh)" >&2; exit 2; }
done
[ -f "$MEDIA/clipA.avi" ] && [ -f "$MEDIA/clipB.avi" ] || bash "$SHARED/make_media.sh" "$MEDIA"
mkdir -p "$OUTDIR"
OUTDIR=$(cd "$OUTDIR" && pwd)
"$PROJECT_TOOL" "$OUTDIR/film.mvf" "$MEDIA/clipA.avi" "$MEDIA/clipB.avi" 25 '$202' > /dev/null

first=1
tables=()
for mode in $MODES; do
  work=$OUTDIR/$mode
  mkdir -p "$work"
  export OWN_NAME="movara-$mode" MID_CHECK=0
  export OWN_CMD="'$MOVARA' render '$OUTDIR/film.mvf' -o \"\$OUT\" --mode $mode --quality 9655 --quiet"
  if [ $first = 1 ]; then
    CASES="ffmpeg-xfade melt-luma $OWN_NAME" bash "$SHARED/peers.sh" "$MEDIA" "$work" || true
    first=0
  else
    CASES="$OWN_NAME" bash "$SHARED/peers.sh" "$MEDIA" "$work" || true
  fi
  tables+=("$work/results.tsv")
done

echo
echo "# film_bench: $(nproc) cores, $(awk -F': ' '/model name/{print $2; exit}' /proc/cpuinfo)"
awk -F'\t' '
  FNR == 1 { next }
  { name[++n] = $1; wall[n] = $3; cpu[n] = $4; rss[n] = $6; frames[n] = $7; fps[n] = $8; check[n] = $10
    if ($1 !~ /^movara/ && $8 + 0 > best) best = $8 + 0 }
  END {
    printf "%-16s %8s %8s %8s %7s %8s %10s  %s\n", "row", "wall_s", "cpu_s", "rss_MB", "frames", "fps", "x_faster", "check"
    for (i = 1; i <= n; i++)
      printf "%-16s %8s %8s %8s %7s %8s %10s  %s\n", name[i], wall[i], cpu[i], rss[i], frames[i], fps[i],
             (best > 0 ? sprintf("%.2f", fps[i] / best) : "NA"), check[i]
  }' "${tables[@]}"

[ "${PROFILE:-0}" = 1 ] || exit 0
set +e +o pipefail  # the reports are cut short by head
if ! command -v perf > /dev/null 2>&1; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq linux-perf > /dev/null 2>&1 || true
fi
command -v perf > /dev/null 2>&1 || { echo "film_bench: perf is not installed (apt-get install linux-perf)" >&2; exit 0; }
for mode in $MODES; do
  data=$OUTDIR/$mode/perf.data
  rm -f "$OUTDIR/$mode/profiled.avi"
  perf record -q -F 4000 -g -o "$data" "$MOVARA" render "$OUTDIR/film.mvf" -o "$OUTDIR/$mode/profiled.avi" \
    --mode "$mode" --quality 9655 --quiet > /dev/null 2>&1 || { echo "film_bench: perf record failed" >&2; continue; }
  echo
  echo "# profile of movara --mode $mode: shared objects"
  perf report -i "$data" --no-children --sort dso -g none 2> /dev/null | grep -v '^#' | grep -v '^$' | head -8
  echo "# functions"
  perf report -i "$data" --no-children --sort dso,sym -g none 2> /dev/null | grep -v '^#' | grep -v '^$' | head -15
  echo "# threads: first and last sample (s from the first), processor time (ms)"
  perf script -i "$data" -F tid,time 2> /dev/null | awk '
    { t = $2 + 0; if (!s) s = t; if (!($1 in f)) { f[$1] = t; order[++n] = $1 } l[$1] = t; c[$1]++ }
    END { for (i = 1; i <= n; i++) { k = order[i]; printf "  thread %s: %.3f to %.3f, %.0f ms\n", k, f[k] - s, l[k] - s, c[k] / 4 } }'
done
