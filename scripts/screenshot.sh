#!/usr/bin/env bash
# Photographs vexlo.exe at work: the real program under Wine on a private X
# server, given four copies of the sample, with its balloon in the air.
#   scripts/screenshot.sh [OUT.png]       (default docs/screenshot.png)
# The x86 build where it runs, else the x64 one: both look the same.
# Frames are grabbed while the batch runs; the one whose balloon stands
# highest (the most pixels different from the window at rest) is kept,
# cropped to the window and its balloon.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
out=$(realpath -m "${1:-$top/docs/screenshot.png}")
width=480 height=320
vexlo_in_xvfb ${width}x${height} "$0" "$out"

arch=$(vexlo_preferred_arch)
exe=$(vexlo_exe "$arch")
vexlo_wine "$arch" "$top/build/$arch/wineprefix"

work=$(mktemp -d)
trap 'vexlo_stop; rm -rf "$work"' EXIT
for i in 1 2 3 4; do cp "$top/samples/hidden.png" "$work/photo$i.png"; done

# The window (134 pixels wide with its frame) stands at the right edge, 45
# pixels down; its balloon hops up to 18 pixels above the title bar.
crop=160x170+$((width - 160))+20
(cd "$work" && exec "$WINE" "$exe" photo1.png photo2.png photo3.png photo4.png >/dev/null 2>&1 </dev/null) &
vexlo_wait_for "$work/photo1.jpg" 4
n=0
until [ -e "$work/photo4.jpg" ] || [ $n -ge 400 ]; do
  import -window root -crop "$crop" +repage "$work/frame$(printf %03d $n).png"
  n=$((n + 1))
done
sleep 1  # the last hop ends; the window rests with the success picture
import -window root -crop "$crop" +repage "$work/rest.png"

best= best_diff=-1
for frame in "$work"/frame*.png; do
  diff=$(compare -metric AE "$frame" "$work/rest.png" null: 2>&1 || true)
  diff=${diff%%.*}
  if [ "${diff:-0}" -gt "$best_diff" ]; then best=$frame best_diff=$diff; fi
done
[ -n "$best" ] || { echo "screenshot: no frame caught the batch" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
cp "$best" "$out"
echo "screenshot: $out ($n frames, the balloon differs in $best_diff pixels)"
