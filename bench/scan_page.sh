#!/bin/sh
# The scan page with 100,000 finds under Wine on a private Xvfb: the tick that files them all, a
# scroll step, a click and a repaint at the top, middle and end of the photo group, and memory
# and GDI objects while scrolling through it all. Run by hand after tools/build.sh:
#   bench/scan_page.sh [RECORDS]
# The records take a thousand real thumbnail files in turn; every twentieth has none. "Last
# results" then loads as many earlier finds from C:\\tessera_last_results in the prefix.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
records=${1:-100000}
cmake --build "$root/build/win" --target scan_page_bench -j 2 >/dev/null
work=$(mktemp -d)
convert -seed 7 -size 117x82 plasma:fractal -type TrueColor "PNG24:$work/thumb.png"
i=0
while [ "$i" -lt 1000 ]; do
    cp "$work/thumb.png" "$work/thumb_$i.png"
    i=$((i + 1))
done

WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"
cache="$WINEPREFIX/drive_c/tessera_last_results"
rm -rf "$cache"
trap 'rm -rf "$work" "$cache"; wine_session_end' EXIT
# The earlier finds are made here, natively: making them through Wine takes longer than the benchmark.
mkdir -p "$cache/tmp"
: >"$cache/tmp/.tessera_work"
python3 - "$cache/tmp" "$records" <<'PY'
import os, sys
folder, finds = sys.argv[1], int(sys.argv[2])
for i in range(finds):
    open(os.path.join(folder, "f%07d.jpg" % (1000 + i)), "wb").close()
PY
cd "$root/build/win/bin"
wine scan_page_bench.exe "Z:$(echo "$work" | tr / '\\\\')" "$records" 'C:\tessera_last_results'
