#!/usr/bin/env bash
# Draws the program's three pictures with ImageMagick and the DejaVu fonts, and writes the
# window icon with make_icon.py. The outputs are committed; run this only to change them.
#   logo.jpg    200 x 47 baseline JPEG, the logo at the top right of the main window
#   donate.gif  98 x 26 GIF, the donation picture of the Info window
#   app_icon.ico  32 x 32, 16 colours, one image
set -euo pipefail
cd "$(dirname "$0")"

bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
book=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

# Logo: a blue rounded emblem with a white "K" and a register-like bar pattern, the name beside it.
convert -size 200x47 xc:white \
    -fill '#1f5fa8' -draw 'roundrectangle 4,4 42,42 7,7' \
    -fill white -font "$bold" -pointsize 26 -draw "text 9,34 'K'" \
    -fill '#8fb8e8' -draw 'rectangle 34,12 38,15' -draw 'rectangle 34,20 38,23' \
    -draw 'rectangle 34,28 38,31' \
    -fill '#1f2d3d' -font "$bold" -pointsize 21 -draw "text 51,27 'Kalvenor'" \
    -fill '#5a6b7d' -font "$book" -pointsize 9.5 -draw "text 52,40 'Modbus RTU / TCP Master'" \
    -strip -interlace none -sampling-factor 2x2 -quality 92 jpg:logo.jpg

# Donation picture: a small button with a heart and the word "Spenden".
convert -size 98x26 xc:white \
    -fill '#f3b632' -stroke '#b07d10' -draw 'roundrectangle 0,0 97,25 6,6' \
    -stroke none -fill '#c0262d' -draw 'circle 13,11 13,7' -draw 'circle 21,11 21,7' \
    -draw 'polygon 9,13 25,13 17,21' \
    -fill '#2b1d05' -font "$bold" -pointsize 12 -draw "text 32,17 'Spenden'" \
    -strip -colors 32 gif:donate.gif

# Icon: the emblem again at 32 x 32, drawn as RGBA and reduced to 16 colours by make_icon.py.
convert -size 32x32 xc:none \
    -fill '#1f5fa8' -draw 'roundrectangle 1,1 30,30 6,6' \
    -fill white -font "$bold" -pointsize 22 -draw "text 4,25 'K'" \
    -fill '#8fb8e8' -draw 'rectangle 23,8 26,10' -draw 'rectangle 23,14 26,16' \
    -draw 'rectangle 23,20 26,22' \
    -depth 8 rgba:icon.rgba
python3 make_icon.py icon.rgba app_icon.ico
rm -f icon.rgba
