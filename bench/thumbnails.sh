#!/bin/sh
# Thumbnails per second and peak memory of the thumbnail builder under Wine, for a folder of
# 12-megapixel camera JPEGs and a folder of camera RAW files. Run by hand after tools/build.sh:
#   bench/thumbnails.sh [COUNT]
# Needs ../shared/bench-media (real camera files); the JPEGs are a real camera JPEG re-encoded at
# 4000 x 3000 by ImageMagick, the RAW files copies of the one fully decodable sample DNG.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-20}
media=$root/../shared/bench-media
[ -d "$media" ] || { echo "no sample folder at $media"; exit 1; }
cmake --build "$root/build/win" --target thumbnail_bench -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/jpeg" "$work/raw"

source_jpeg=$(find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort | head -n 1)
convert "$source_jpeg" -resize '4000x3000!' -quality 92 "$work/jpeg/f0000000.jpg"
i=1
while [ "$i" -lt "$count" ]; do
    cp "$work/jpeg/f0000000.jpg" "$work/jpeg/f$(printf %07d "$i").jpg"
    cp "$media/syoyo+tinydng/colorchart.dng" "$work/raw/f$(printf %07d "$i").dng"
    i=$((i + 1))
done
cp "$media/syoyo+tinydng/colorchart.dng" "$work/raw/f0000000.dng"

WINEPREFIX=${WINEPREFIX:-$root/build/win/wineprefix}
export WINEPREFIX WINEDEBUG=-all
for kind in jpeg raw; do
    printf '%s (%s files): ' "$kind" "$count"
    /usr/bin/time -f 'wine max RSS %M KiB' wine "$root/build/win/bin/thumbnail_bench.exe" \
        "Z:$(echo "$work/$kind" | tr / '\\\\')" 2>&1 | grep -v '^INFO: ' | tr '\n' ' '
    echo
done
