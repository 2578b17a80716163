#!/usr/bin/env bash
# editor_film_bench.sh - a film made from the editor (Ctrl+M, Enter under Xvfb) against
# `movara render` of the same project with the same settings, RUNS times each, in turn.
#
# Usage: bash bench/editor_film_bench.sh [MEDIA_DIR]   (default /tmp/benchmedia)
#
# The project is film_bench.sh's: two 10 s 720x576 25 fps MJPEG clips with PCM sound,
# overlapping by 25 frames with the fade $202 between them (19 s, 475 frames). Both
# make 720x576 Motion JPEG at quality 9655, every frame rendered (--mode none), PCM
# 44100 Hz stereo in 1 s blocks. The editor's time runs from Enter in the settings
# window to the end of the progress window (it includes the window's fixed 111 ms and
# 333 ms pauses); render's is the whole command (reading the project included).
# Needs: ffmpeg, ffprobe, Xvfb, xdotool, bc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
MEDIA=${1:-/tmp/benchmedia}
MOVARA=${MOVARA:-$root/build/movara}
RUNS=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ! -f "$MEDIA/clipA.avi" ] || [ ! -f "$MEDIA/clipB.avi" ]; then
  mkdir -p "$MEDIA"
  for c in "A testsrc2=size=720x576:rate=25:duration=10 440" "B mandelbrot=size=720x576:rate=25,trim=duration=10 660"; do
    set -- $c
    ffmpeg -v error -y -f lavfi -i "$2" -f lavfi -i "sine=frequency=$3:sample_rate=44100:duration=10" \
      -map 0:v -map 1:a -t 10 -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -c:a pcm_s16le -ac 2 "$MEDIA/clip$1.avi"
  done
fi
"$root/build/movara_bench_project" "$work/film.mvf" "$MEDIA/clipA.avi" "$MEDIA/clipB.avi" 25 '$202' >/dev/null
export PROJECT="$work/film.mvf" TIMING=1
export SETTINGS=$'BmpWidth=720\nBmpHeight=576\nCompvarsfccType=1667524982\nCompvarsfccHandler=1196444237\nCompvarslQ=9655\nIniVideoRenderMode=2'
editor=() render=() generated=()
for i in $(seq 1 "$RUNS"); do
  s=$(date +%s.%N)
  line=$("$MOVARA" render "$PROJECT" -o "$work/render.avi" --size 720x576 --vcodec MJPG --quality 9655 --mode none --quiet)
  e=$(date +%s.%N)
  render+=("$(echo "$e - $s" | bc)")
  generated+=("$(echo "$line" | sed -n 's/.*generated in \([0-9.]*\) s.*/\1/p')")
  editor+=("$(bash "$root/tests/app/ui/FilmUnderXvfb.sh" "$MOVARA" | awk '/^editor_seconds/{print $2}')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
me=$(median "${editor[@]}") mr=$(median "${render[@]}") mg=$(median "${generated[@]}")
echo "# editor_film_bench: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "editor    ${editor[*]}  median $me s (Enter to the end of the progress window)"
echo "render    ${render[*]}  median $mr s (the whole command)"
echo "generated ${generated[*]}  median $mg s (render's own figure: the film thread alone)"
echo "editor / render = $(echo "scale=3; $me / $mr" | bc)"
echo "editor less its fixed 444 ms of pauses / render's generation = $(echo "scale=3; ($me - 0.444) / $mg" | bc)"
