#!/usr/bin/env bash
# Draws the program's own pictures into resources/: the three preview placeholders and the icon.
# Needs ImageMagick 6 and fonts-noto-cjk. The output is committed; run this again only to change
# the artwork. PNG chunks carrying dates are left out so that the files come out the same each run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/resources"
im=/usr/bin/convert # another "convert" may come first on the PATH
font=Noto-Sans-CJK-JP
png=(-strip -define png:exclude-chunks=date,time)

# 129: the main preview, 480 x 360. Two lines of text and a row of seven coloured dots.
dots=()
colors=('#e53935' '#fb8c00' '#fdd835' '#43a047' '#1e88e5' '#3949ab' '#8e24aa')
for i in "${!colors[@]}"; do
  x=$((150 + i * 30))
  dots+=(-fill "${colors[$i]}" -draw "circle $x,250 $((x + 8)),250")
done
"$im" -size 480x360 xc:white -font "$font" -fill black -pointsize 22 \
  -gravity north -annotate +0+120 'ここにスライドの画像が表示されます' \
  -pointsize 16 -annotate +0+165 'この絵が表示されている間は画像が選ばれていません' \
  -gravity none "${dots[@]}" "${png[@]}" "PNG24:$out/preview_placeholder_129.png"

# 131 and 132: the next and previous previews, 240 x 180.
for pair in '131:次の画面' '132:前の画面'; do
  id=${pair%%:*}
  text=${pair#*:}
  "$im" -size 240x180 xc:white -font "$font" -fill black -pointsize 28 -gravity center \
    -annotate +0+0 "$text" "${png[@]}" "PNG24:$out/preview_placeholder_$id.png"
done

# 128: the icon, 256 x 256: a slide on an easel-like frame with a red recording dot.
"$im" -size 256x256 xc:none \
  -fill '#1e3a5f' -draw 'roundrectangle 16,40 240,200 18,18' \
  -fill white -draw 'rectangle 32,56 224,184' \
  -fill '#1e88e5' -draw 'rectangle 48,72 160,84' \
  -fill '#90a4ae' -draw 'rectangle 48,100 200,108' -draw 'rectangle 48,120 180,128' \
  -draw 'rectangle 48,140 190,148' \
  -fill '#1e3a5f' -draw 'rectangle 120,200 136,232' -draw 'roundrectangle 76,228 180,242 6,6' \
  -fill '#e53935' -stroke white -strokewidth 8 -draw 'circle 200,184 200,224' \
  "${png[@]}" "PNG32:$out/vorlix_icon_128.png"
