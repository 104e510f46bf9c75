#!/bin/sh
# Builds the fuzz targets with clang and libFuzzer in build/fuzz and runs one of them, or all,
# for a number of seconds each. The committed seeds in fuzz/corpus/<name> are read; what the
# fuzzer adds goes to build/fuzz/corpus/<name>, so the source tree stays as it is.
#   tools/fuzz.sh [NAME|all] [SECONDS]     e.g. tools/fuzz.sh scan_stream 900
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
which=${1:-all}
seconds=${2:-60}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSERA_FUZZ=ON -DTESSERA_TESTS=OFF >/dev/null
if [ "$which" = all ]; then
    targets=$(ninja -C build/fuzz -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
else
    targets=fuzz_$which
fi
# shellcheck disable=SC2086
cmake --build build/fuzz -j 2 --target $targets

for target in $targets; do
    name=${target#fuzz_}
    seeds="$root/fuzz/corpus/$name"
    corpus="$root/build/fuzz/corpus/$name"
    mkdir -p "$seeds" "$corpus" "$root/build/fuzz/artifacts/$name"
    echo "== $target for ${seconds}s"
    "build/fuzz/bin/$target" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 \
        -artifact_prefix="$root/build/fuzz/artifacts/$name/" "$corpus" "$seeds"
done
