#!/usr/bin/env bash
# Draws the Windows executable's icon, resources/windows/cardpush.ico: a
# memory card in the steel blue of the roller table's frame, an orange arrow
# going into it, and a row of rollers beneath. Drawn once at 256 x 256 and
# scaled down to the sizes that Windows shows (16, 32, 48 and 256 pixels;
# the 256 one is stored as PNG inside the .ico, as Windows expects). Needs
# ImageMagick. The icon is kept in the repository; run this only to change it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/resources/windows/cardpush.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The card: a rounded plate with one corner cut off, as memory cards have,
# and a strip of contacts along its top edge.
card=(
  -fill '#1f3f60' -draw "polygon 60,12 196,12 222,38 222,186 60,186"
  -fill '#2f5e8e' -draw "polygon 66,18 193,18 216,41 216,180 66,180"
  -fill '#e8c15a'
)
for i in 0 1 2 3 4 5; do
  x=$((80 + i * 20))
  card+=(-draw "rectangle $x,26 $((x + 11)),52")
done

# The arrow, from above the card into its middle.
arrow=(
  -fill '#b56d17' -draw "polygon 118,64 162,64 162,110 190,110 140,160 90,110 118,110"
  -fill '#d98b2b' -draw "polygon 124,70 156,70 156,116 176,116 140,152 104,116 124,116"
)

# The rollers: a frame, and cylinders shaded as in the About picture.
rollers=(-fill '#2b2b2b' -draw "roundrectangle 14,214 242,238 6,6")
for i in 0 1 2 3 4; do
  x=$((22 + i * 44))
  rollers+=(-fill '#3b3f45' -draw "roundrectangle $x,196 $((x + 36)),230 8,8")
  rollers+=(-fill '#c9ced4' -draw "roundrectangle $((x + 2)),198 $((x + 34)),228 7,7")
  rollers+=(-fill '#eef2f5' -draw "rectangle $((x + 6)),203 $((x + 30)),208")
  rollers+=(-fill '#7d848c' -draw "rectangle $((x + 6)),220 $((x + 30)),224")
done

convert -size 256x256 xc:none "${card[@]}" "${arrow[@]}" "${rollers[@]}" -depth 8 \
  -strip "$tmp/256.png"
for size in 48 32 16; do
  convert "$tmp/256.png" -filter Lanczos -resize ${size}x${size} -depth 8 -strip "$tmp/$size.png"
done
mkdir -p "$(dirname "$out")"
convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" "$tmp/256.png" -depth 8 "$out"
echo "$out"
