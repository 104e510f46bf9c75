#!/bin/sh
# Thumbnails per second and peak memory of the thumbnail builder under Wine. Run by hand after
# tools/build.sh:
#   bench/thumbnails.sh [COUNT]
# Needs ../shared/bench-media (real camera files; BENCH_MEDIA names another place). Measured:
#   jpeg      a real camera JPEG re-encoded at 4000 x 3000 (12 MP) by ImageMagick, which keeps
#             the camera's Exif block with its preview
#   camera    the sample collection's camera JPEGs of 10 MP and more, as the cameras wrote them
#             (4:3 and 3:2 sensors, previews with and without black bands)
#   no-preview  the 12-MP JPEG with its Exif block stripped: every pixel must be decoded
#   raw       copies of the one fully decodable sample DNG
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-20}
media=${BENCH_MEDIA:-$root/../shared/bench-media}
# A worktree sits one folder deeper than the main checkout.
[ -d "$media" ] || media=$root/../../shared/bench-media
[ -d "$media" ] || { echo "no sample folder at $media"; exit 1; }
cmake --build "$root/build/win" --target thumbnail_bench -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/jpeg" "$work/camera" "$work/no-preview" "$work/raw"

name() { printf 'f%07d.%s' "$1" "$2"; }
source_jpeg=$(find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort | head -n 1)
convert "$source_jpeg" -resize '4000x3000!' -quality 92 "$work/jpeg/$(name 0 jpg)"
convert "$work/jpeg/$(name 0 jpg)" -strip "$work/no-preview/$(name 0 jpg)"
cp "$media/syoyo+tinydng/colorchart.dng" "$work/raw/$(name 0 dng)"
i=1
while [ "$i" -lt "$count" ]; do
    cp "$work/jpeg/$(name 0 jpg)" "$work/jpeg/$(name "$i" jpg)"
    cp "$work/no-preview/$(name 0 jpg)" "$work/no-preview/$(name "$i" jpg)"
    cp "$media/syoyo+tinydng/colorchart.dng" "$work/raw/$(name "$i" dng)"
    i=$((i + 1))
done
# Camera files of at least 10 megapixels, repeated up to COUNT files.
find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort | while read -r f; do
    size=$(identify -format '%w %h' "$f" 2>/dev/null || echo 0 0)
    if [ $((${size% *} * ${size#* })) -ge 10000000 ]; then echo "$f"; fi
done >"$work/camera.list"
i=0
while [ "$i" -lt "$count" ] && [ -s "$work/camera.list" ]; do
    while read -r f && [ "$i" -lt "$count" ]; do
        cp "$f" "$work/camera/$(name "$i" jpg)"
        i=$((i + 1))
    done <"$work/camera.list"
done

WINEPREFIX=${WINEPREFIX:-$root/build/win/wineprefix}
export WINEPREFIX WINEDEBUG=-all
for kind in jpeg camera no-preview raw; do
    printf '%-10s (%s files): ' "$kind" "$count"
    /usr/bin/time -f 'wine max RSS %M KiB' wine "$root/build/win/bin/thumbnail_bench.exe" \
        "Z:$(echo "$work/$kind" | tr / '\\\\')" 2>&1 | grep -v '^INFO: ' | tr '\n' ' '
    echo
done
