#!/bin/sh
# A new scan started over the work files of a large earlier one, under Wine on a private Xvfb:
# when the engine runs after Next, the longest time the window does not answer, how long Pause
# takes meanwhile, and how long the old files take to go in the background. Run by hand after
# tools/build.sh:
#   bench/scan_start.sh [OLD_FINDS]      (100,000 old finds, each with its thumbnail, by default)
# The cache folder is C:\\tessera_scan_start in the prefix. The engine scans a 4 GiB sparse image file, which keeps it busy for the whole measurement.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
finds=${1:-100000}
cmake --build "$root/build/win" --target scan_start_bench embsrv -j 2 >/dev/null
work=$(mktemp -d)
truncate -s 4G "$work/source.img"

WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"
cache="$WINEPREFIX/drive_c/tessera_scan_start"
rm -rf "$cache"
trap 'rm -rf "$work" "$cache"; wine_session_end' EXIT
# The old finds are made here, natively: making them through Wine takes longer than the benchmark.
mkdir -p "$cache/tmp"
: >"$cache/tmp/.tessera_work"
python3 - "$cache/tmp" "$finds" <<'PY'
import os, sys
folder, finds = sys.argv[1], int(sys.argv[2])
for i in range(finds):
    for name in ("f%07d.jpg" % (1000 + i), "thumb_f%07d.png" % (1000 + i)):
        open(os.path.join(folder, name), "wb").close()
PY
cd "$root/build/win/bin"
wine scan_start_bench.exe 'C:\tessera_scan_start' "Z:$(echo "$work/source.img" | tr / '\\\\')" 0
