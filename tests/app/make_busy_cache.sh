#!/bin/sh
# Makes a cache folder of 20,000 found pictures for the tests that load a large earlier scan:
# 18,000 copies of a small GIF and 2,000 of a JPEG in OUT/tmp.0, made from FIXTURES.
#   make_busy_cache.sh OUT FIXTURES
set -eu
out=$1
fixtures=$2
rm -rf "$out"
mkdir -p "$out/tmp.0"
# copies FILE COUNT PREFIX SUFFIX: COUNT copies of FILE named PREFIX00000SUFFIX upwards.
copies() {
    size=$(wc -c <"$1")
    cp "$1" "$out/run"
    have=1
    while [ "$have" -lt "$2" ]; do
        cat "$out/run" "$out/run" >"$out/run2"
        mv "$out/run2" "$out/run"
        have=$((have * 2))
    done
    head -c $((size * $2)) "$out/run" | (cd "$out/tmp.0" && split -b "$size" -a 5 -d --additional-suffix="$4" - "$3")
    rm -f "$out/run"
}
copies "$fixtures/quad_40x40.gif" 18000 g .gif
copies "$fixtures/quad_400x300.jpg" 2000 j .jpg
