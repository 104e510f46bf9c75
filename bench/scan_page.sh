#!/bin/sh
# The scan page through a scan of 100,000 finds under Wine on a private Xvfb, every input given
# through the input queue, the finds reported by the stand-in engine to the real reader and
# handled by the real thumbnail workers: the worst message and the 99th percentile while the
# finds arrive, while walking through the group by keys, and after "Last results". Run by hand
# after tools/build.sh:
#   bench/scan_page.sh [RECORDS]
# The finds take a thousand real thumbnails in turn; every twentieth has none. "Last results"
# then loads as many earlier finds from C:\\tessera_last_results in the prefix.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
records=${1:-100000}
cmake --build "$root/build/win" --target scan_page_bench fake_embsrv -j 2 >/dev/null
work=$(mktemp -d)
convert -seed 7 -size 117x82 plasma:fractal -type TrueColor "PNG24:$work/thumb.png"

WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"
bench="$WINEPREFIX/drive_c/tessera_scan_page"
cache="$WINEPREFIX/drive_c/tessera_last_results"
rm -rf "$bench" "$cache"
trap 'rm -rf "$work" "$bench" "$cache"; wine_session_end' EXIT
mkdir -p "$bench/app/Ember" "$bench/cache" "$bench/premade" "$cache/tmp"
cp "$root/build/win/bin/fake_embsrv.exe" "$bench/app/Ember/embsrv.exe"
: >"$cache/tmp/.tessera_work"
# The finds and the earlier finds are made here, natively: making them through Wine takes longer
# than the benchmark. The thumbnails are links to a thousand copies of one picture, which the
# grid reads and decodes anew for each find.
python3 - "$bench/premade" "$cache/tmp" "$work/thumb.png" "$records" <<'PY'
import os, shutil, sys
premade, earlier, picture, finds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
copies = []
for n in range(1000):
    copies.append(os.path.join(premade, "picture_%d.png" % n))
    shutil.copyfile(picture, copies[-1])
for i in range(finds):
    open(os.path.join(premade, "f%07d.jpg" % i), "wb").close()
    if i % 20 != 19:
        os.link(copies[i % 1000], os.path.join(premade, "thumb_f%07d.png" % i))
    open(os.path.join(earlier, "f%07d.jpg" % (1000 + i)), "wb").close()
PY
cd "$root/build/win/bin"
wine scan_page_bench.exe 'C:\tessera_scan_page\app' 'C:\tessera_scan_page\cache' 'C:\tessera_scan_page\premade' \
    "$records" 'C:\tessera_last_results'
