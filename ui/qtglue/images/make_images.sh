#!/bin/sh
# Draws the program's pictures with ImageMagick; their output is committed beside this script,
# so a build needs neither ImageMagick nor these fonts.
#   icon16.png   the program's icon "ICON16": 16 x 16, 24-bit colour, an open book on blue
#   product.jpg  the product picture of the splash and about window, 281 x 185
set -eu
cd "$(dirname "$0")"
SERIF=/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf
SANS=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

convert -size 16x16 xc:'#1d4e89' \
  -fill '#f4f1e4' -stroke none \
  -draw 'polygon 2,4 7,5 7,13 2,12' -draw 'polygon 9,5 14,4 14,12 9,13' \
  -fill '#f2b134' -draw 'rectangle 7,4 8,13' \
  -fill '#1d4e89' -draw 'line 3,7 6,7.5' -draw 'line 10,7.5 13,7' \
  -draw 'line 3,9 6,9.5' -draw 'line 10,9.5 13,9' \
  -strip -define png:color-type=2 PNG24:icon16.png

convert -size 281x185 gradient:'#f8f4e3'-'#d9e6f2' \
  -fill '#1d4e89' -stroke none \
  -draw 'polygon 26,70 66,62 66,122 26,128' -draw 'polygon 70,62 110,70 110,128 70,122' \
  -fill '#f4f1e4' \
  -draw 'polygon 30,73 64,66 64,118 30,124' -draw 'polygon 72,66 106,73 106,124 72,118' \
  -fill '#f2b134' -draw 'rectangle 66,58 70,124' \
  -stroke '#9aa9b8' -strokewidth 1 \
  -draw 'line 35,82 59,77' -draw 'line 35,90 59,85' -draw 'line 35,98 59,93' \
  -draw 'line 35,106 59,101' -draw 'line 77,77 101,82' -draw 'line 77,85 101,90' \
  -draw 'line 77,93 101,98' -draw 'line 77,101 101,106' \
  -stroke none -fill '#1d4e89' -font "$SERIF" -pointsize 26 -annotate +118+96 'Вербалон' \
  -fill '#4a5d70' -font "$SANS" -pointsize 11 -annotate +120+116 'словари под рукой' \
  -fill '#1d4e89' -draw 'rectangle 20,146 261,147' \
  -fill '#4a5d70' -pointsize 10 -annotate +20+166 'версия 1.0b' \
  -strip -quality 88 product.jpg
