#!/usr/bin/env bash
# Decodes our pictures, and GIFs that ImageMagick writes to stress the
# reader (12-bit codes and table resets, interlacing, local palettes), with
# the program's GIF reader under Wine and with ImageMagick, and compares
# every pixel: the colour wherever the pixel is opaque, and the alpha.
#   gif_decoder_crosscheck.sh WINE_RUN ARCH PREFIX GIF_DUMP_EXE RES_DIR
set -euo pipefail
wine=("$1" "$2" "$3") dump=$4 res=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$res"/info?.gif "$res"/balloon.gif "$work"/
convert -seed 7 -size 97x61 xc: +noise Random -colors 256 "$work/noise256.gif"
convert -seed 8 -size 40x45 xc: +noise Random -colors 5 -interlace GIF "$work/interlaced.gif"
convert -seed 9 -size 64x64 plasma:fractal -colors 60 -transparent-color white \
  -fill none -draw 'rectangle 0,0 10,10' "$work/plasma.gif"
# Two frames with their own palettes: the reader takes the first.
convert -seed 3 -size 30x20 xc:red xc:blue +append -crop 30x20 +repage "$work/frames.gif"

fail=0
for gif in "$work"/*.gif; do
  name=$(basename "$gif")
  if ! "${wine[@]}" "$dump" "Z:$gif" "Z:$gif.ours" >/dev/null; then
    echo "FAIL $name: our reader refused it"; fail=1; continue
  fi
  convert "$gif[0]" -alpha on -depth 8 "rgba:$gif.magick"
  python3 - "$gif.ours" "$gif.magick" "$name" <<'PY' || fail=1
import sys
ours, magick, name = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read(), sys.argv[3]
if len(ours) != len(magick):
    sys.exit(f'FAIL {name}: {len(ours)} bytes of pixels against {len(magick)}')
bad = [i // 4 for i in range(0, len(ours), 4)
       if ours[i + 3] != magick[i + 3] or (ours[i + 3] and ours[i:i + 3] != magick[i:i + 3])]
if bad:
    sys.exit(f'FAIL {name}: {len(bad)} pixels differ, first at index {bad[0]}')
print(f'ok   {name}: {len(ours) // 4} pixels')
PY
done
exit $fail
