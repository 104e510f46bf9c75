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
tail -c +2049 "$tmp/d.avi" >> "$out/gap_d.avi"
