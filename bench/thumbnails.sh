#!/bin/sh
# Thumbnails per second of the thumbnail builder under Wine, before (a JPEG's camera preview
# unchecked, else GDI+ at full size; RAW developed at full size, and RAW developed by LibRaw at half
# size) and now (a sequential JPEG's camera preview once the walk found the photo whole, other
# JPEGs decoded at 1/8 scale, a Bayer RAW's samples binned to thumbnail size), in one run. Run by
# hand after tools/build.sh:
#   bench/thumbnails.sh [COUNT]
# Needs ../shared/bench-media (real camera files; BENCH_MEDIA names another place). Kinds:
#   no-preview  a real camera JPEG re-encoded at 4000 x 3000 (12 MP) without its Exif block
#   preview     the same with the camera's Exif block and its preview kept
#   camera      the sample collection's camera JPEGs of 10 MP and more, as the cameras wrote them
#   dng         copies of the one fully decodable sample DNG (the other RAW samples are
#               metadata-only stubs, which no decoder develops); it has no camera preview
#   dng-preview the same DNG with a camera preview of its size added, as cameras write them
#   mjpeg-avi   copies of a camera's motion-JPEG AVI (its first frame)
#   h264-mp4    copies of a 1920 x 1080 H.264 clip made with ffmpeg (its first frame, through
#               Media Foundation; there was no thumbnail before)
# Each kind runs on one thread, and now also on two threads. Besides thumbnails per second (which
# depend on what else the machine runs) each line gives the process's CPU time per thumbnail.
#   bench/thumbnails.sh --scan [PHOTOS [RAW_PERCENT]]
# instead measures a scan's thumbnails: PHOTOS camera photos (1,000 by default; the sample
# collection's camera JPEGs in turn, and RAW_PERCENT of them, 10 by default, the decodable DNG)
# queued at once on the real found queue and its workers, and the time from the last find to the
# last thumbnail, with the machine's load.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --scan ]; then
    photos=${2:-1000}
    raw_percent=${3:-10}
    media=${BENCH_MEDIA:-$root/../shared/bench-media}
    [ -d "$media" ] || media=$root/../../shared/bench-media
    [ -d "$media" ] || { echo "no sample folder at $media"; exit 1; }
    cmake --build "$root/build/win" --target scan_thumbnails_bench -j 2 >/dev/null
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort >"$work/jpegs"
    i=0
    # Hard links: a thousand names for the same few files, as many finds as wanted without the space.
    while [ "$i" -lt "$photos" ]; do
        while read -r f && [ "$i" -lt "$photos" ]; do
            if [ $((i % 100)) -lt "$raw_percent" ]; then
                ln "$media/syoyo+tinydng/colorchart.dng" "$work/$(printf 'f%07d.dng' "$i")" 2>/dev/null ||
                    cp "$media/syoyo+tinydng/colorchart.dng" "$work/$(printf 'f%07d.dng' "$i")"
            else
                ln "$f" "$work/$(printf 'f%07d.jpg' "$i")" 2>/dev/null || cp "$f" "$work/$(printf 'f%07d.jpg' "$i")"
            fi
            i=$((i + 1))
        done <"$work/jpegs"
    done
    rm "$work/jpegs"
    WINEPREFIX=${WINEPREFIX:-$root/build/win/wineprefix}
    export WINEPREFIX WINEDEBUG=-all
    echo "$photos photos, $raw_percent% RAW; $(nproc) processors; load before $(cut -d' ' -f1-3 /proc/loadavg)"
    wine "$root/build/win/bin/scan_thumbnails_bench.exe" "Z:$(echo "$work" | tr / '\\')" 2>&1 | grep -v '^INFO: '
    echo "load after $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi
count=${1:-20}
media=${BENCH_MEDIA:-$root/../shared/bench-media}
# A worktree sits one folder deeper than the main checkout.
[ -d "$media" ] || media=$root/../../shared/bench-media
[ -d "$media" ] || { echo "no sample folder at $media"; exit 1; }
cmake --build "$root/build/win" --target thumbnail_bench -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kinds="no-preview preview camera dng dng-preview mjpeg-avi h264-mp4"
for kind in $kinds; do mkdir "$work/$kind"; done

name() { printf 'f%07d.%s' "$1" "$2"; }
source_jpeg=$(find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort | head -n 1)
convert "$source_jpeg" -resize '4000x3000!' -quality 92 "$work/preview/$(name 0 jpg)"
convert "$work/preview/$(name 0 jpg)" -strip "$work/no-preview/$(name 0 jpg)"
convert "$source_jpeg" -resize '1734x1156!' -quality 90 "$work/preview.jpg"
python3 "$root/bench/raw_with_preview.py" "$media/syoyo+tinydng/colorchart.dng" "$work/preview.jpg" 1734 1156 \
    "$work/dng-preview/$(name 0 dng)"
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=2" -c:v libx264 -pix_fmt yuv420p \
    "$work/h264-mp4/$(name 0 mp4)"
avi=$(find "$media/drewnoakes+metadata-extractor-images/avi" -iname '*.avi' | sort | tail -n 1)
i=0
while [ "$i" -lt "$count" ]; do
    [ "$i" -eq 0 ] || cp "$work/preview/$(name 0 jpg)" "$work/preview/$(name "$i" jpg)"
    [ "$i" -eq 0 ] || cp "$work/no-preview/$(name 0 jpg)" "$work/no-preview/$(name "$i" jpg)"
    cp "$media/syoyo+tinydng/colorchart.dng" "$work/dng/$(name "$i" dng)"
    [ "$i" -eq 0 ] || cp "$work/dng-preview/$(name 0 dng)" "$work/dng-preview/$(name "$i" dng)"
    cp "$avi" "$work/mjpeg-avi/$(name "$i" avi)"
    [ "$i" -eq 0 ] || cp "$work/h264-mp4/$(name 0 mp4)" "$work/h264-mp4/$(name "$i" mp4)"
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
run() {  # run KIND LABEL ARGS...
    kind=$1 label=$2
    shift 2
    printf '%-10s %-12s ' "$kind" "$label"
    wine "$root/build/win/bin/thumbnail_bench.exe" "Z:$(echo "$work/$kind" | tr / '\\\\')" "$@" 2>&1 |
        grep -v '^INFO: '
}
# Where the time of one JPEG and one RAW thumbnail goes, step by step.
steps() {
    printf '%-10s ' "$1"
    wine "$root/build/win/bin/thumbnail_bench.exe" "Z:$(echo "$work/$1" | tr / '\\')" --steps 2>&1 | grep -v '^INFO: '
}
echo "$count files of each kind; $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg)"
for kind in $kinds; do
    case $kind in mjpeg-avi | h264-mp4) ;; *) run "$kind" before --before ;; esac
    case $kind in dng | dng-preview) run "$kind" "half size" --half ;; esac
    run "$kind" now
    run "$kind" "now, 2 threads" --threads 2
done
for kind in no-preview camera dng; do steps "$kind"; done
