#!/bin/sh
# Starts Tessera under Wine on a private Xvfb and saves pictures of the main window on each page
# and of the message box in each mode: build/screenshots/*.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "${1:-}" = "--no-build" ] || "$root/tools/build.sh" --win-only
out="$root/build/screenshots"
mkdir -p "$out"
WINEPREFIX="$root/build/win/wineprefix"
TESSERA_XVFB=1
. "$root/tools/wine_session.sh"

bin="$root/build/win/bin"
cd "$bin"
shot() { sleep 1.5; import -window root -crop "$2" +repage "$out/$1.png"; }

# The main window sits in the middle of the 1280 x 1024 screen: 800 x 600 from (240, 212).
wine Tessera.exe &
app=$!
for _ in $(seq 100); do wine ui_probe.exe send 0x400 0 >/dev/null 2>&1 && break; sleep 0.2; done
main=800x600+240+212
shot main_home "$main"
wine ui_probe.exe send 0x403 0; shot main_options "$main"
wine ui_probe.exe send 0x404 0; shot main_scan "$main"
wine ui_probe.exe send 0x40C 0; shot main_recovered "$main"
wine ui_probe.exe send 0x402 0
xdotool mousemove 1018 225; shot main_hover_close "$main"
xdotool mousemove 640 700
wine ui_probe.exe send 0x10 0 || true
wait "$app" || true

# The options page in German, with the card list open, and refusing a cache folder on the card
# being searched (X:), in English. Clicks land in the middle of a control, found by its id.
click() { xdotool mousemove $(wine ui_probe.exe where TesseraOptionsPage "$1") click 1; }
options_session() {
    wine reg delete 'HKCU\Software\Tessera' /f >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Tessera' /v language /d "$1" /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Tessera' /v CachePath /d 'X:\' /f >/dev/null 2>&1
    wine Tessera.exe &
    app=$!
    for _ in $(seq 100); do wine ui_probe.exe send 0x403 0 >/dev/null 2>&1 && break; sleep 0.2; done
}
options_session Deutsch
shot main_options_de "$main"
wine ui_probe.exe send 0x10 0 || true
wait "$app" || true
options_session English
click 8; shot main_options_cards_open "$main"
xdotool key Down Return   # the list runs Z:, X:, C: in the test prefix
click 11; click 3; shot main_options_cache_on_card "$main"
xdotool key Escape
wine ui_probe.exe send 0x10 0 || true
wait "$app" || true
wine reg delete 'HKCU\Software\Tessera' /f >/dev/null 2>&1 || true

# Each box is 300 x 200 in the middle of the screen.
for mode in 0 1 2 3 4 7; do
    wine ui_probe.exe box "$mode" &
    box=$!
    shot "message_mode_$mode" 300x200+490+412
    wait "$box" 2>/dev/null || true
done
echo "screenshots in $out"
ls "$out"
