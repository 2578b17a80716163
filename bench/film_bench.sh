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
# Environment: RUNS (3), MOVARA (build/movara), SHARED (../shared/bench), MODES ("none medium max").
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
