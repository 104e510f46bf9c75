#!/bin/sh
# Installs what is missing, builds both trees and runs every test: the native unit tests under
# the sanitizers, then the Windows tests under Wine on a private X display.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
# The sample card of the README's run command, so that a machine that cannot make it fails here.
"$root/tools/make_sample_card.sh"
"$root/tools/build.sh"

WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"

status=0
ctest --test-dir build/native --output-on-failure -j 2 || status=1
if ! ctest --test-dir build/win --output-on-failure -j 2; then
    status=1
    # A program stopped by its timeout shows nothing above; its log tells how far it got.
    failed=build/win/Testing/Temporary/LastTestsFailed.log
    [ -f "$failed" ] && cut -d: -f2 "$failed" | while read -r name; do
        log="build/win/test-logs/$name.log"
        [ -f "$log" ] && { echo "--- last lines of $log"; tail -n 40 "$log"; }
    done || true
fi
[ "$status" -eq 0 ] && echo "All tests passed." || echo "Some tests failed."
exit "$status"
