#!/bin/sh
# Makes the seed cards of the whole-scan fuzz target: small files from real encoders placed on
# sector boundaries between filler, as they lie on a card.
set -eu
out=$(cd "$(dirname "$0")" && pwd)/scan_stream
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 24x16 gradient:red-blue "$tmp/a.jpg"
convert -size 16x16 xc:green "$tmp/b.png"
convert -size 8x8 xc:white "$tmp/c.gif"
for f in a.jpg b.png c.gif; do
    { head -c 512 /dev/zero; cat "$tmp/$f"; } > "$tmp/card"
    size=$(stat -c %s "$tmp/card")
    truncate -s $(( (size + 1023) / 512 * 512 )) "$tmp/card"
    cp "$tmp/card" "$out/card_${f%.*}"
done
cat "$out/card_a" "$out/card_b" "$out/card_c" > "$out/card_all"
