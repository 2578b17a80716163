#!/usr/bin/env bash
# Saves a PNG of every window of the editor, open on the demo project, into OUTDIR
# (offscreen: no display needed). Run after scripts/build.sh. Besides the standing
# windows: the effect chooser (fxselect.png) playing a transition, the preview window
# (fxpreview.png) on a frame of the film, the film settings on both pages
# (aviformat.png, aviformat-sound.png), the compressor chooser (compressor.png) and the
# progress window during a film, without and with its preview box (aviprogress.png,
# aviprogress-preview.png).
set -euo pipefail
out=${1:?usage: scripts/screenshots.sh OUTDIR}
cd "$(dirname "$0")/.."
prog="$PWD/${BUILD_DIR:-build}/movara"
[ -x "$prog" ] || { echo "screenshots: $prog not built (run scripts/build.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# settings of a first start, kept away from the user's own
export MOVARA_HOME="$work/home"
"$prog" demo "$work/demo" >"$work/demo.log" 2>&1 || { cat "$work/demo.log" >&2; exit 1; }
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$prog" --screenshots "$out" "$work/demo/demo.mvf"
ls -1 "$out"/*.png
