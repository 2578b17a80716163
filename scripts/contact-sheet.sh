#!/usr/bin/env bash
# Contact sheets of every transition: each effect at steps 250, 500 and 750 between two
# pictures that cannot be mistaken for each other (A: the ffmpeg test card with a big
# "A", B: a blue grid with an orange foot and a big "B"; both carry "TOP" on their top edge so a picture
# turned over shows at once). One PNG per 12 effects in OUTDIR (default ./contact-sheet).
#
#   scripts/contact-sheet.sh [OUTDIR]
#   MOVARA=path/to/movara SIZE=192x144 STEPS="250 500 750" FILTER=1 scripts/contact-sheet.sh
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-contact-sheet}"
movara="${MOVARA:-$root/build/movara}"
size="${SIZE:-192x144}"
steps="${STEPS:-250 500 750}"
filter="${FILTER:-0}"
per_sheet=12

command -v ffmpeg >/dev/null || { echo "contact-sheet: the ffmpeg program is needed" >&2; exit 1; }
[ -x "$movara" ] || { echo "contact-sheet: no movara program at $movara (set MOVARA)" >&2; exit 1; }

font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
have_text=0
filters="$(ffmpeg -hide_banner -filters 2>/dev/null || true)"
if [ -f "$font" ] && grep -q ' drawtext ' <<<"$filters"; then
  have_text=1
fi
# drawtext with the font, or nothing when text cannot be drawn
text() {  # text STRING SIZE X Y [COLOUR]
  if [ "$have_text" = 1 ]; then
    printf "drawtext=fontfile=%s:text='%s':fontsize=%s:x=%s:y=%s:fontcolor=%s:box=1:boxcolor=black@0.5" \
      "$font" "$1" "$2" "$3" "$4" "${5:-white}"
  else
    printf "null"
  fi
}

mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

q() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# The two pictures, 720 x 576.
q -f lavfi -i "testsrc=size=720x576:rate=1" -frames:v 1 \
  -vf "$(text A 300 '(w-tw)/2' '(h-th)/2' yellow),$(text TOP 60 '(w-tw)/2' 10)" \
  -pix_fmt bgr24 "$work/a.bmp"
q -f lavfi -i "color=c=0x183c78:size=720x576:rate=1" -frames:v 1 \
  -vf "drawgrid=w=48:h=48:t=2:c=white,drawbox=x=0:y=500:w=720:h=76:c=0xe08020:t=fill,$(text B 300 '(w-tw)/2' '(h-th)/2' yellow),$(text TOP 60 '(w-tw)/2' 10)" \
  -pix_fmt bgr24 "$work/b.bmp"
cp "$work/a.bmp" "$out/picture-a.bmp"
cp "$work/b.bmp" "$out/picture-b.bmp"

# One strip per effect: its steps side by side, the id and step written on each frame.
mkdir -p "$work/strips"
count=0
while IFS=$'\t' read -r id _category _description; do
  [ -n "$id" ] || continue
  inputs=()
  labels=""
  k=0
  for step in $steps; do
    frame="$work/f-$count-$step.bmp"
    "$movara" fx "$id" "$step" "$work/a.bmp" "$work/b.bmp" -o "$frame" --size "$size" \
      --filter "$filter"
    inputs+=(-i "$frame")
    labels+="[$k]pad=iw+4:ih+4:2:2:gray,$(text "$id  $step" 14 4 4)[l$k];"
    k=$((k + 1))
  done
  stack=""
  for ((j = 0; j < k; ++j)); do stack+="[l$j]"; done
  q "${inputs[@]}" -filter_complex "${labels}${stack}hstack=inputs=$k" \
    "$work/strips/$(printf '%03d' "$count").png"
  count=$((count + 1))
done < <("$movara" effects)

[ "$count" -gt 0 ] || { echo "contact-sheet: movara effects listed nothing" >&2; exit 1; }

# Sheets of per_sheet strips, two columns; the last sheet is padded with empty cells.
rm -f "$out"/sheet-*.png
q -framerate 1 -i "$work/strips/%03d.png" \
  -vf "tile=2x$((per_sheet / 2)):padding=6:margin=6:color=0x303030" \
  -start_number 1 "$out/sheet-%02d.png"

echo "contact-sheet: $count effects, $(ls "$out"/sheet-*.png | wc -l) sheets in $out" >&2
