#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: the bar logo, the splash,
# the about picture and the window icon; and renders the desktop icon
# icons/zeltrix.svg at the packaged sizes with rsvg-convert (librsvg2-bin).
# The results are committed; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")"
FONT=DejaVu-Sans
BOLD=DejaVu-Sans-Bold
BG='#e9eef5'
INK='#2b3a55'
ACCENT='#d9532c'

# The mark: a film strip of three frames, the middle one lit, at x,y, width s.
mark() {
  local s=$1 x=$2 y=$3
  local h=$(( s * 6 / 10 )) w=$(( s * 3 / 10 ))
  MARK=(-fill "$INK" -draw "roundrectangle $x,$y $((x+s)),$((y+h)) 6,6"
        -fill "$BG" -draw "rectangle $((x+4)),$((y+5)) $((x+w)),$((y+h-5))"
        -fill "$ACCENT" -draw "rectangle $((x+s/2-w/2+2)),$((y+5)) $((x+s/2+w/2-2)),$((y+h-5))"
        -fill "$BG" -draw "rectangle $((x+s-w)),$((y+5)) $((x+s-4)),$((y+h-5))")
}

# The logo stands on the bar's slate face: light ink.
INK=$BG BG='#3b4a63' mark 60 12 6
convert -size 85x69 xc:none "${MARK[@]}" \
  -font $BOLD -pointsize 13 -fill "$BG" -annotate +16+62 'Zeltrix' logo.png

mark 90 53 190
convert -size 196x356 xc:"$BG" \
  -fill "$ACCENT" -draw 'polygon 98,30 150,95 118,95 118,170 78,170 78,95 46,95' \
  "${MARK[@]}" \
  -font $BOLD -pointsize 26 -fill "$INK" -gravity north -annotate +0+265 'Zeltrix' \
  -font $FONT -pointsize 11 -annotate +0+302 'by Brightfold Software' \
  -pointsize 9 -annotate +0+330 'Touch the top edge of the screen' \
  -quality 92 splash.jpg

mark 64 68 20
convert -size 200x358 xc:"$BG" \
  "${MARK[@]}" \
  -font $BOLD -pointsize 15 -fill "$INK" -gravity north -annotate +2+70 'About Zeltrix' \
  -font $FONT -pointsize 11 -fill "$ACCENT" -annotate +2+113 'Brightfold Software' \
  -fill "$INK" -pointsize 8 -annotate +2+133 'All rights reserved.' \
  -fill "$ACCENT" -pointsize 10 -annotate +2+161 'www.zeltrix.example' \
  -fill "$INK" -font $FONT -pointsize 8 -annotate +2+225 'Made by the Brightfold team' \
  -annotate +2+240 'with Qt and a web engine.' \
  -gravity northwest -fill "$ACCENT" -pointsize 10 -annotate +13+310 'FAQ' -annotate +154+310 'Help' \
  -type TrueColor about.png
# The about window writes "Zeltrix <version>" into the gap above the credits
# at run time, so that the picture need not change with each version.

mark 56 4 14
convert -size 64x64 xc:none "${MARK[@]}" icon.png

for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size icons/zeltrix.svg -o icons/zeltrix-$size.png
done
