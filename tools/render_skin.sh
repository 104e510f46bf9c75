#!/bin/sh
# Renders the skin's SVG sources (res/skin/NNN_name.svg) into the 24-bit bitmaps that the
# resource script compiles (res/bitmaps/NNN.bmp). Needs librsvg2-bin and ImageMagick; the
# rendered bitmaps are committed, so a build needs neither.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/res/bitmaps"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for source in "$root"/res/skin/*.svg; do
    name=$(basename "$source" .svg)
    number=${name%%_*}
    rsvg-convert "$source" -o "$tmp/$number.png"
    convert "$tmp/$number.png" -background white -flatten -alpha off -type TrueColor "BMP3:$out/$number.bmp"
done
echo "rendered $(ls "$root"/res/skin/*.svg | wc -l) bitmaps into res/bitmaps"
