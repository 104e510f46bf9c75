#!/bin/sh
# Times the native engine over a warm disk image against `cat image > /dev/null`, with every
# type enabled and the finds written. Run by hand:
#   bench/engine_throughput.sh [IMAGE]
# Without IMAGE it makes build/bench/throughput.img (1 GiB: random filler with the files of
# ../shared/bench-media, where present, laid on sector boundaries).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake -S . -B build/bench-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_SANITIZE=OFF \
    -DTESSERA_TESTS=OFF >/dev/null
cmake --build build/bench-release -j 2 --target embsrv >/dev/null

image=${1:-}
if [ -z "$image" ]; then
    mkdir -p "$root/build/bench"
    image="$root/build/bench/throughput.img"
    if [ ! -f "$image" ]; then
        head -c $((768 * 1024 * 1024)) /dev/urandom > "$image"
        media="$root/../shared/bench-media"
        if [ -d "$media" ]; then
            find "$media" -type f ! -name '*.txt' | sort | while read -r f; do
                size=$(stat -c %s "$image")
                [ "$size" -ge $((1024 * 1024 * 1024)) ] && break
                truncate -s $(( (size + 511) / 512 * 512 )) "$image"
                cat "$f" >> "$image"
            done
        fi
        size=$(stat -c %s "$image")
        truncate -s $(( (size + 511) / 512 * 512 )) "$image"
    fi
fi

names=""
for n in max mov riff asf flv dpx dv fcp ifo m2ts mkv mpg rm swf TiVo \
         tif dsc raf x3f orf rw2 crw mrw png gif bmp jpg ico psd \
         aif all als ape au caf flac gp5 ds2 dss flp it mid mp3 mus ogg ra rns ses sib wv xm wtv; do
    names="$names$n,enable,"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seconds() { date +%s.%N; }
bytes=$(stat -L -c %s "$image")
cat "$image" > /dev/null  # warm the page cache
t0=$(seconds); cat "$image" > /dev/null; t1=$(seconds)
build/bench-release/bin/embsrv /d "$work/tmp" /cmd "$image" "fileopt,everything,disable,${names}search" 2>"$work/log"
t2=$(seconds)
found=$(find "$work/tmp" -type f | wc -l)
awk -v b="$bytes" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v n="$found" 'BEGIN {
    c = t1 - t0; e = t2 - t1
    printf "image      %.0f MB\n", b / 1e6
    printf "cat        %.2f s  %.0f MB/s\n", c, b / 1e6 / c
    printf "embsrv     %.2f s  %.0f MB/s  (%d files written)\n", e, b / 1e6 / e, n
}'
