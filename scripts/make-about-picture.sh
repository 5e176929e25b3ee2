#!/usr/bin/env bash
# Draws the About box picture, resources/about.jpg (281 x 177): a roller
# table in a workshop, lit from above, with a fixed random seed so that the
# same picture comes out every time. Needs ImageMagick. The picture is kept
# in the repository; run this only to change it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/resources/about.jpg}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

W=281 H=177

# Back wall: a soft light gradient with a mottled plaster texture.
convert -size ${W}x${H} gradient:'#f4f1ea'-'#b9b3a6' \
  \( -seed 42 -size ${W}x${H} plasma:grey60-grey85 -colorspace gray -blur 0x2 \) \
  -compose overlay -composite "$tmp/wall.png"

# Floor: concrete, a shade darker than the wall, from the table's feet down.
convert -size ${W}x60 gradient:"#cfc9bd"-"#a9a397" \
  \( -seed 7 -size ${W}x60 plasma:grey55-grey80 -colorspace gray -blur 0x1 \) \
  -compose overlay -composite "$tmp/floor.png"

# The table: a steel frame with a row of rollers, each shaded as a cylinder.
rollers=()
for i in $(seq 0 13); do
  x=$((14 + i * 18))
  rollers+=(-fill '#3b3f45' -draw "roundrectangle $((x-1)),84 $((x+13)),110 3,3")
  rollers+=(-fill '#c9ced4' -draw "roundrectangle $x,85 $((x+12)),109 3,3")
  rollers+=(-fill '#eef2f5' -draw "rectangle $((x+3)),86 $((x+5)),108")
  rollers+=(-fill '#7d848c' -draw "rectangle $((x+9)),86 $((x+11)),108")
done
convert "$tmp/wall.png" "$tmp/floor.png" -geometry +0+$((H-60)) -composite \
  -fill '#2f5e8e' -draw "rectangle 8,108 272,122" \
  -fill '#1f3f60' -draw "rectangle 8,120 272,124" \
  -fill '#2b2b2b' -draw "rectangle 20,124 28,160" -draw "rectangle 252,124 260,160" \
  -draw "rectangle 136,124 144,160" \
  "${rollers[@]}" \
  -fill '#d98b2b' -draw "rectangle 70,72 130,86" \
  -fill '#b56d17' -draw "rectangle 70,82 130,86" \
  -blur 0x0.6 \
  -seed 3 -attenuate 0.25 +noise Gaussian \
  -quality 88 -sampling-factor 2x2 -strip "$out"
echo "$out"
