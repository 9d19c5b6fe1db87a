#!/bin/sh
# Draws the sorter's icon: a yellow disk card with its shutter and label, and a green arrow
# pointing into a drawer. Writes vormlin.png beside this script and sorter/vormlin.ico.
# Needs ImageMagick's convert. Run from anywhere: sh sorter/icon/draw-icon.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)

convert -size 64x64 xc:none \
    -stroke '#5a4300' -strokewidth 2 -fill '#f2c318' -draw 'roundrectangle 6,4 44,54 5,5' \
    -stroke none -fill '#6b5a2a' -draw 'rectangle 17,8 33,24' \
    -fill '#f2c318' -draw 'rectangle 27,11 31,21' \
    -fill '#fdf6dc' -stroke '#5a4300' -strokewidth 1 -draw 'rectangle 11,32 39,49' \
    -stroke '#b04a2a' -strokewidth 2 -draw 'line 15,37 35,37' -draw 'line 15,43 30,43' \
    -stroke '#1d5e24' -strokewidth 2 -fill '#3fae49' \
    -draw 'polygon 46,24 56,24 56,40 62,40 51,52 40,40 46,40' \
    -stroke '#2c3e64' -strokewidth 2 -fill '#6f8fc9' -draw 'roundrectangle 36,52 62,62 2,2' \
    "$here/vormlin.png"

convert "$here/vormlin.png" -define icon:auto-resize=48,32,16 "$here/../vormlin.ico"
