#!/bin/sh
# Builds a small sample memory card image (48 MiB, FAT16, no partition table) without mounting
# it: a camera folder of real pictures made here with ImageMagick (six JPEGs, a PNG, a GIF), a
# recording and a clip when sox and ffmpeg are installed, with some of them deleted so that a
# scan has something to recover. The same tools give the same image byte for byte.
#
#   tools/make_sample_card.sh OUT.img [ROOT_DIR]
#   tools/make_sample_card.sh           # build/sample-card/card.img and root/, unless made already
#
# ROOT_DIR, when given, receives the files still live on the card (what a mounted card shows).
# tools/setup.sh installs what it needs (imagemagick, dosfstools, mtools, fonts-dejavu-core).
set -eu
if [ $# -eq 0 ]; then
    sample="$(cd "$(dirname "$0")/.." && pwd)/build/sample-card"
    [ -f "$sample/card.img" ] && exit 0
    set -- "$sample/card.img" "$sample/root"
fi
out=$1
root_dir=${2:-}
PATH="$PATH:/usr/sbin:/sbin"
# A font file named outright: ImageMagick's default font (Helvetica) comes from Ghostscript's
# fonts, which a fresh machine does not have.
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
for tool in convert mkfs.vfat mcopy mmd mdel; do
    command -v "$tool" >/dev/null || { echo "make_sample_card.sh: $tool is missing (run tools/setup.sh)" >&2; exit 1; }
done
[ -f "$font" ] || { echo "make_sample_card.sh: $font is missing (run tools/setup.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 SOURCE_DATE_EPOCH=1716026400   # 2024-05-18 10:00 UTC on every entry

# Distinct pictures: seeded plasma under a different caption each.
n=0
for seed in 11 23 37 41 53 67; do
    n=$((n + 1))
    convert -seed "$seed" -size 1600x1200 plasma:fractal -blur 0x2 \
        -font "$font" -fill white -pointsize 96 -gravity south -annotate +0+60 "Sample $n" \
        -quality 90 -strip "$work/IMG_000$n.JPG"
done
convert -seed 79 -size 800x600 plasma:fractal -strip -define png:exclude-chunks=date,time "$work/IMG_0007.PNG"
convert -seed 83 -size 640x480 plasma:fractal -colors 128 "$work/IMG_0008.GIF"
if command -v sox >/dev/null; then
    sox -R -n -r 44100 -c 2 -b 16 "$work/REC_0001.WAV" synth 4 sine 440-880 vol 0.5
fi
if command -v ffmpeg >/dev/null; then
    ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=3 \
        -c:v mjpeg -q:v 5 -map_metadata -1 -fflags +bitexact -flags:v +bitexact "$work/MVI_0001.AVI"
fi

img="$work/card.img"
truncate -s 48M "$img"
mkfs.vfat --invariant -i 5a4d504c -n SAMPLECARD "$img" >/dev/null
mmd -i "$img" ::DCIM ::DCIM/100SAMPL
for f in "$work"/IMG_* "$work"/REC_* "$work"/MVI_*; do
    [ -f "$f" ] || continue
    touch -d @"$SOURCE_DATE_EPOCH" "$f"
    mcopy -m -i "$img" "$f" "::DCIM/100SAMPL/$(basename "$f")"
done
# Deleted: the FAT chain and the entry go, the bytes stay until overwritten.
mdel -i "$img" ::DCIM/100SAMPL/IMG_0002.JPG ::DCIM/100SAMPL/IMG_0004.JPG ::DCIM/100SAMPL/IMG_0005.JPG \
    ::DCIM/100SAMPL/IMG_0007.PNG
[ -f "$work/REC_0001.WAV" ] && mdel -i "$img" ::DCIM/100SAMPL/REC_0001.WAV

if [ -n "$root_dir" ]; then
    rm -rf "$root_dir"
    mkdir -p "$root_dir"
    mcopy -s -m -n -i "$img" ::DCIM "$root_dir/"
fi
mkdir -p "$(dirname "$out")"
mv "$img" "$out"
echo "sample card: $out"
