#!/bin/sh
# Draws the window's own images with ImageMagick; the PNGs beside this script
# are its output and are committed, so a build never needs ImageMagick. The
# program's icon is drawn in ../icons.
set -eu
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# The Donate button: 74 by 21 pixels.
convert -size 74x21 xc:none \
    -fill '#f7c23a' -stroke '#b07d0a' -draw 'roundrectangle 0,0 73,20 9,9' \
    -font "$font" -pointsize 11 -fill '#1d3d7a' -stroke none \
    -gravity center -annotate +0+0 'Donate' \
    -depth 8 -strip donate.png
