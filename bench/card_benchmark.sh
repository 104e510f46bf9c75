#!/bin/sh
# Card benchmark, run by hand (not in CI): builds SD-card-like FAT32 and exFAT images from real
# media (bench/build_card.py; encoders are installed here when missing), each also quick-formatted,
# then scores an optimised native embsrv (built in build/bench-release unless --embsrv names one)
# on each (bench/score_card.py). Everything else goes to build/bench/ (card_FS[_quick].img,
# manifest_FS[_quick].json, and the encoded media cache, so a second run encodes nothing).
# --save keeps each card's figures in a JSON file; --compare prints what moved since such a file.
# --long-videos builds the long-video cards instead (bench/build_long_card.py, 4 GiB unless
# --size-mib says otherwise: card_FS_long[_quick].img and manifest_FS_long[_quick].json): a card
# full of phone photos and some clips, then long clips of 50 to 500 MB (phone MP4 with the index
# last and first, camera H.264 MOV and motion-JPEG AVI) shot into holes as 2 to 8 fragments, most
# deleted again; the scorer adds them per style and fragment count. A first run encodes about
# 6.5 GB of media (cached); the build and scan times are printed.
#
#   bench/card_benchmark.sh [--fs fat32|exfat|both] [--size-mib N] [--seed N] [--score-only]
#                           [--embsrv PATH] [--keep] [--save FILE.json] [--compare FILE.json]
#                           [--long-videos]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/bench"
size=""
seed=1
filesystems="fat32 exfat"
score_only=0
embsrv=""
keep=""
figures=""
long=""
while [ $# -gt 0 ]; do
    case "$1" in
        --size-mib) size=${2:?--size-mib needs a value}; shift 2 ;;
        --fs) filesystems=${2:?--fs needs fat32, exfat or both}; shift 2
              [ "$filesystems" = both ] && filesystems="fat32 exfat" ;;
        --seed) seed=${2:?--seed needs a value}; shift 2 ;;
        --embsrv) embsrv=${2:?--embsrv needs a path}; shift 2 ;;
        --score-only) score_only=1; shift ;;
        --keep) keep="--keep"; shift ;;
        --long-videos) long="_long"; shift ;;
        --save|--compare) figures="$figures $1 $(realpath -m "${2:?$1 needs a file}")"; shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        *) echo "card_benchmark.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

if [ "$score_only" = 0 ]; then
    # The encoders and FAT tools, installed only here: CI never runs the benchmark.
    packages="python3 imagemagick ffmpeg sox libsox-fmt-base flac lame vorbis-tools opus-tools
wavpack dosfstools mtools exfatprogs time"
    missing=""
    for p in $packages; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        echo "Installing:$missing"
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        export DEBIAN_FRONTEND=noninteractive
        $sudo apt-get update -qq
        # shellcheck disable=SC2086
        $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
    fi
    PATH="$PATH:/usr/sbin:/sbin"
    export PATH
    mkdir -p "$out"
    python3 "$root/bench/check_fat.py"
    builder="$root/bench/build_card.py"
    [ -n "$long" ] && builder="$root/bench/build_long_card.py"
    [ -n "$size" ] || { size=2112; [ -n "$long" ] && size=4096; }
    for fs in $filesystems; do
        started=$(date +%s)
        python3 "$builder" --out "$out" --size-mib "$size" --seed "$seed" --fs "$fs" --quick-format
        echo "card_$fs$long built in $(( $(date +%s) - started )) s (media encoding included when not cached)"
    done
fi

if [ -z "$embsrv" ]; then
    # An optimised engine, so that the throughput figure is the product's, not the sanitizers'.
    cmake -S "$root" -B "$root/build/bench-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DTESSERA_SANITIZE=OFF -DTESSERA_TESTS=OFF >/dev/null
    cmake --build "$root/build/bench-release" -j 2 --target embsrv >/dev/null
    embsrv="$root/build/bench-release/bin/embsrv"
fi
if [ ! -x "$embsrv" ]; then
    echo "No engine at $embsrv: build it (tools/build.sh) and run again with --score-only." >&2
    exit 1
fi
for fs in $filesystems; do
    for manifest in "$out/manifest_$fs$long.json" "$out/manifest_$fs${long}_quick.json"; do
        echo
        # shellcheck disable=SC2086  # $keep is empty or one word, $figures option and path pairs
        python3 "$root/bench/score_card.py" --manifest "$manifest" --embsrv "$embsrv" $keep $figures
    done
done
# Damaged, truncated and overwritten files with intact photos behind them, per type.
[ -n "$long" ] && exit 0
python3 "$root/bench/damage_card.py" --out "$out" --embsrv "$embsrv"
