#!/bin/sh
# Makes the seeds of the chain-check fuzz target: small MP4, MOV and AVI files from ffmpeg, and
# files cut and joined from them (one's head with another's tail, a block left out), as wrong
# chains give them.
set -eu
out=$(cd "$(dirname "$0")" && pwd)/chain_check
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
clip() {
    ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=size=64x48:rate=10 -f lavfi \
        -i sine=frequency=440:sample_rate=8000 -t 1 "$@"
}
clip -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 16k "$tmp/a.mp4"
clip -c:v libx265 -preset ultrafast -x265-params log-level=none -pix_fmt yuv420p -tag:v hvc1 -c:a aac -b:a 16k "$tmp/b.mp4"
clip -c:v libx264 -preset ultrafast -pix_fmt yuv420p -movflags +faststart -an "$tmp/c.mov"
clip -c:v mjpeg -q:v 8 -c:a pcm_u8 "$tmp/d.avi"
clip -c:v mjpeg -q:v 8 -an -f mov "$tmp/e.mov"
for f in a.mp4 b.mp4 c.mov d.avi e.mov; do cp "$tmp/$f" "$out/whole_$f"; done
# One file's first half with another's second half, and a file with its second block left out.
head -c 4096 "$tmp/a.mp4" > "$out/joined_a_b.mp4"
tail -c +4097 "$tmp/b.mp4" >> "$out/joined_a_b.mp4"
head -c 1024 "$tmp/d.avi" > "$out/gap_d.avi"
# An MP4 (movie box last) with four blocks of its media data from another file: its samples break
# there.
cp "$tmp/a.mp4" "$out/wrong_a.mp4"
dd if="$tmp/d.avi" of="$out/wrong_a.mp4" bs=512 skip=4 seek=4 count=4 conv=notrunc status=none
tail -c +2049 "$tmp/d.avi" >> "$out/gap_d.avi"
# Sound, animation, picture (GIF, TIFF, JPEG, BMP), WMV, Matroska, PNG and Ogg files, small, each whole and with a block left
# out; a progressive JPEG.
sox -n -r 8000 -c 1 -b 16 "$tmp/s.wav" synth 0.3 sine 440 vol 0.5
sox -n -r 8000 -c 2 -b 16 "$tmp/s.aif" synth 0.2 sine 300 vol 0.5
tone() { ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=frequency=330:sample_rate=8000 -t 0.3 "$@"; }
tone -c:a pcm_s16be "$tmp/s.caf"
tone -c:a alac "$tmp/a.caf"
clip -c:v wmv2 -b:v 100k -c:a wmav2 -f asf "$tmp/w.wmv"
ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=size=32x24:rate=5 -t 1 "$tmp/g.gif"
convert -seed 3 -size 48x32 plasma:fractal -compress lzw -define tiff:rows-per-strip=4 "$tmp/l.tif"
convert -seed 3 -size 48x32 plasma:fractal -compress jpeg -define tiff:rows-per-strip=16 "$tmp/j.tif"
convert -seed 3 -size 96x64 plasma:fractal -interlace JPEG "$tmp/p.jpg"
# An Ogg Vorbis recording of a few pages.
tone -c:a libvorbis -f ogg "$tmp/v.ogg"
# A PNG whose image data spans two chunks.
convert -seed 5 -size 96x64 plasma:fractal "$tmp/i.png"
# A Matroska clip (H.264 frames as NAL units in blocks).
clip -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 16k -fflags +bitexact -f matroska "$tmp/m.mkv"
# A baseline photo with the camera's padding after its EOI.
convert -seed 4 -size 96x64 plasma:fractal -strip "$tmp/b.jpg"
head -c 700 /dev/zero | tr '\0' '\377' >> "$tmp/b.jpg"
convert -seed 5 -size 64x48 plasma:fractal -type TrueColor "BMP3:$tmp/m.bmp"
for f in s.wav s.aif s.caf a.caf w.wmv g.gif l.tif j.tif p.jpg b.jpg m.mkv i.png v.ogg m.bmp; do
    cp "$tmp/$f" "$out/whole_$f"
    head -c 1024 "$tmp/$f" > "$out/gap_$f"
    tail -c +1537 "$tmp/$f" >> "$out/gap_$f"
done
