#!/bin/sh
# Installs what is missing, builds both trees and runs every test: the native unit tests under
# the sanitizers, then the Windows tests under Wine on a private X display.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
"$root/tools/build.sh"

WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"

status=0
ctest --test-dir build/native --output-on-failure -j 2 || status=1
ctest --test-dir build/win --output-on-failure -j 2 || status=1
[ "$status" -eq 0 ] && echo "All tests passed." || echo "Some tests failed."
exit "$status"
