#!/bin/sh
# Draws the hicolor icons from the shapes of tallyvine.svg with ImageMagick
# (which reads no SVG here): the 256-pixel icon, then the smaller sizes from
# it. The PNGs are committed, so a build never needs ImageMagick.
set -eu
cd "$(dirname "$0")"

convert -size 256x256 xc:none \
    -fill '#2e7d32' -stroke '#1b5e20' -strokewidth 6 -draw 'roundrectangle 8,8 247,247 44,44' \
    -stroke '#f1f8e9' -strokewidth 16 \
    -draw 'stroke-linecap round line 70,64 70,190 line 108,64 108,190
           line 146,64 146,190 line 184,64 184,190' \
    -stroke '#ffd54f' -draw 'stroke-linecap round line 46,172 210,84' \
    -stroke none -fill '#aed581' -draw 'ellipse 196,200 26,14 0,360' \
    -stroke '#33691e' -strokewidth 4 -draw 'line 172,204 220,196' \
    -depth 8 -strip tallyvine-256.png
for size in 48 32 16; do
    convert tallyvine-256.png -filter Lanczos -resize ${size}x${size} -depth 8 -strip \
        tallyvine-${size}.png
done
