#!/bin/sh
# Makes the installer tests' Wine prefix anew, with its own card beside it: the installer must
# meet a machine that never had Tessera on it.
set -eu
prefix=${1:?usage: fresh_prefix.sh PREFIX}
export WINEPREFIX="$prefix" WINEDEBUG=-all
# Without a display: wineboot's "updating the configuration" window would otherwise appear on
# the test display while other tests move its mouse.
unset DISPLAY
if [ -d "$prefix" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
fi
exec "$(dirname "$0")/../../tools/wine_prefix.sh" "$prefix"
