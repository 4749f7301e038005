#!/bin/sh
# Draws the program's own images with ImageMagick; the PNGs beside this script
# are its output and are committed, so a build never needs ImageMagick.
set -eu
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# The Donate button: 74 by 21 pixels.
convert -size 74x21 xc:none \
    -fill '#f7c23a' -stroke '#b07d0a' -draw 'roundrectangle 0,0 73,20 9,9' \
    -font "$font" -pointsize 11 -fill '#1d3d7a' -stroke none \
    -gravity center -annotate +0+0 'Donate' \
    -depth 8 -strip donate.png

# The program's icon: a green tile with a tally of five (four strokes and a
# cross stroke) and a vine leaf.
convert -size 256x256 xc:none \
    -fill '#2e7d32' -stroke '#1b5e20' -strokewidth 6 -draw 'roundrectangle 8,8 247,247 44,44' \
    -stroke '#f1f8e9' -strokewidth 16 -draw 'stroke-linecap round' \
    -draw 'line 70,64 70,190' -draw 'line 108,64 108,190' \
    -draw 'line 146,64 146,190' -draw 'line 184,64 184,190' \
    -stroke '#ffd54f' -draw 'line 46,172 210,84' \
    -stroke none -fill '#aed581' -draw 'ellipse 196,200 26,14 0,360' \
    -stroke '#33691e' -strokewidth 4 -draw 'line 172,204 220,196' \
    -depth 8 -strip tallyvine.png
convert tallyvine.png -resize 32x32 -depth 8 -strip tallyvine-32.png
