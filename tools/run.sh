#!/bin/sh
# Installs what is missing, builds Tessera and starts it under Wine in its own prefix. Without a
# display of your own it runs on a private Xvfb and saves a screenshot to build/tessera.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
"$root/tools/build.sh" --win-only

WINEPREFIX="$root/build/run-prefix"
had_display=${DISPLAY:-}

# The run prefix's removable drive X: is the sample card (made once, kept in build/), so a scan
# has deleted photos to find. Linked before wine_session.sh starts the server that reads it.
"$root/tools/wine_prefix.sh" "$WINEPREFIX"
"$root/tools/make_sample_card.sh"
sample="$root/build/sample-card"
ln -sfn "$sample/root" "$WINEPREFIX/dosdevices/x:"
ln -sfn "$sample/card.img" "$WINEPREFIX/dosdevices/x::"
. "$root/tools/wine_session.sh"

cd "$root/build/win/bin"
if [ -n "$had_display" ]; then
    wine Tessera.exe
else
    wine Tessera.exe &
    app=$!
    sleep 8
    import -window root "$root/build/tessera.png" 2>/dev/null &&
        echo "Tessera is running on a private display; screenshot: build/tessera.png"
    echo "Press Ctrl+C to stop."
    wait "$app"
fi
