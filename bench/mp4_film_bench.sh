#!/usr/bin/env bash
# mp4_film_bench.sh - an MP4 film from two 1080p H.264 MP4 clips, ours against the peers.
#
# Usage: bash bench/mp4_film_bench.sh [MEDIA_DIR] [OUT_DIR]   (defaults /tmp/benchmedia-mp4 /tmp/benchout-mp4)
#
# Makes the media with the ffmpeg program when they are missing (two 10 s 1920x1080
# 25 fps H.264 MP4 clips with AAC stereo 44100 Hz sound: testsrc2 with a 440 Hz tone,
# mandelbrot with 660 Hz), writes the project with build/movara_bench_project (clip A on
# row A, clip B on row B overlapping A by 25 frames, the fade $202 between them, the
# clips' sound crossing over) and renders the 19-second film to 1920x1080 MP4 with
# `movara render --kind mp4`, with ffmpeg (xfade + acrossfade) and with melt (a luma
# mix) when it is installed, all to the same codec settings: H.264 by libx264, preset
# veryfast, CRF 19 (our quality 7500), yuv420p, AAC 192 kb/s, +faststart. Each run is
# timed by GNU time (wall, processor, peak memory); ffprobe checks every film (codecs,
# size, frames, length).
#
# Environment: RUNS (3), MOVARA (build/movara).
# Needs: ffmpeg with libx264, ffprobe, GNU time; melt is optional.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
MEDIA=${1:-/tmp/benchmedia-mp4}
OUTDIR=${2:-/tmp/benchout-mp4}
MOVARA=${MOVARA:-$root/build/movara}
PROJECT_TOOL=${PROJECT_TOOL:-$root/build/movara_bench_project}
RUNS=${RUNS:-3}
FRAMES=475  # 19 s at 25 frames a second

for t in "$MOVARA" "$PROJECT_TOOL"; do
  [ -x "$t" ] || { echo "mp4_film_bench: $t is missing; build first (bash scripts/build.sh)" >&2; exit 2; }
done
mkdir -p "$MEDIA" "$OUTDIR"
MEDIA=$(cd "$MEDIA" && pwd)
OUTDIR=$(cd "$OUTDIR" && pwd)
FF=(ffmpeg -hide_banner -nostdin -loglevel error -y)
clip() {
  [ -f "$MEDIA/$1" ] && return
  "${FF[@]}" -f lavfi -i "$2=size=1920x1080:rate=25" -f lavfi -i "sine=frequency=$3:sample_rate=44100" \
    -t 10 -c:v libx264 -preset veryfast -g 50 -pix_fmt yuv420p -c:a aac -ac 2 -b:a 192k "$MEDIA/$1"
}
clip clipA.mp4 testsrc2 440
clip clipB.mp4 mandelbrot 660
"$PROJECT_TOOL" "$OUTDIR/film.mvf" "$MEDIA/clipA.mp4" "$MEDIA/clipB.mp4" 25 '$202' > /dev/null

X264=(-c:v libx264 -preset veryfast -crf 19 -pix_fmt yuv420p -c:a aac -b:a 192k -ar 44100 -ac 2 -movflags +faststart)
run_movara() { "$MOVARA" render "$OUTDIR/film.mvf" -o "$1" --kind mp4 --size 1920x1080 --quality 7500 --quiet; }
run_ffmpeg() {
  "${FF[@]}" -i "$MEDIA/clipA.mp4" -i "$MEDIA/clipB.mp4" -filter_complex \
    "[0:v][1:v]xfade=transition=fade:duration=1:offset=9[v];[0:a][1:a]acrossfade=d=1[a]" \
    -map "[v]" -map "[a]" "${X264[@]}" "$1"
}
run_melt() {
  melt -silent "$MEDIA/clipA.mp4" "$MEDIA/clipB.mp4" -mix 25 -mixer luma \
    -consumer "avformat:$1" vcodec=libx264 preset=veryfast crf=19 pix_fmt=yuv420p acodec=aac ab=192k \
    ar=44100 ac=2 movflags=+faststart real_time=0 > /dev/null 2>&1
}

rows=(movara ffmpeg-xfade)
command -v melt > /dev/null && rows+=(melt-luma) || echo "mp4_film_bench: melt is not installed; its row is left out" >&2

results=$OUTDIR/results.tsv
printf 'row\trun\twall_s\tcpu_s\trss_MB\tframes\tfps\tcheck\n' > "$results"
# the rows take turns run by run, so a machine that slows down or speeds up while the
# benchmark runs weighs on every row alike
for run in $(seq 1 "$RUNS"); do
  for row in "${rows[@]}"; do
    out=$OUTDIR/$row.mp4
    rm -f "$out"
    fn=run_${row%%-*}
    /usr/bin/time -f '%e %U %S %M' -o "$OUTDIR/time.txt" bash -c "$(declare -f "$fn"); $(declare -p FF X264 MEDIA OUTDIR MOVARA); $fn '$out'" || true
    read -r wall user sys rss < "$OUTDIR/time.txt"
    check=ok
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 "$out" 2>&1 || true)
    audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$out" 2>&1 || true)
    IFS=, read -r vc w h frames <<< "$probe"
    [ "$vc" = h264 ] && [ "$w" = 1920 ] && [ "$h" = 1080 ] || check="video:$probe"
    [ "$audio" = aac ] || check="$check audio:$audio"
    frames=${frames:-0}
    [ "$frames" -ge $((FRAMES - 1)) ] && [ "$frames" -le $((FRAMES + 1)) ] || check="$check frames:$frames"
    fps=$(awk -v f="$frames" -v w="$wall" 'BEGIN { printf "%.2f", (w > 0 ? f / w : 0) }')
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$row" "$run" "$wall" \
      "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')" \
      "$(awk -v m="$rss" 'BEGIN { printf "%.0f", m / 1024 }')" "$frames" "$fps" "$check" >> "$results"
  done
done

echo
echo "# mp4_film_bench: $(nproc) cores, $(awk -F': ' '/model name/{print $2; exit}' /proc/cpuinfo), best of $RUNS runs"
awk -F'\t' '
  FNR == 1 { next }
  { if (!($1 in best) || $7 + 0 > fps[$1]) { best[$1] = 1; fps[$1] = $7 + 0; wall[$1] = $3; cpu[$1] = $4; rss[$1] = $5; frames[$1] = $6; check[$1] = $8 }
    if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
  END {
    for (i = 1; i <= n; i++) if (order[i] != "movara" && fps[order[i]] > peer) peer = fps[order[i]]
    printf "%-14s %8s %8s %8s %7s %8s %10s  %s\n", "row", "wall_s", "cpu_s", "rss_MB", "frames", "fps", "x_best_peer", "check"
    for (i = 1; i <= n; i++) { r = order[i]
      printf "%-14s %8s %8s %8s %7s %8s %10s  %s\n", r, wall[r], cpu[r], rss[r], frames[r], fps[r],
             (peer > 0 ? sprintf("%.2f", fps[r] / peer) : "NA"), check[r] }
  }' "$results"
# each run's own ratio: ours against the faster peer of the same turn
awk -F'\t' 'FNR > 1 { if ($1 == "movara") own[$2] = $7; else if ($7 + 0 > peer[$2]) peer[$2] = $7 + 0 }
  END { printf "movara against the faster peer, run by run:"
        for (r = 1; r in own; r++) printf " %.2f", (peer[r] > 0 ? own[r] / peer[r] : 0); print "" }' "$results"
