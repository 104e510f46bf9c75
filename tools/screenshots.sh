#!/bin/sh
# Starts Tessera under Wine on a private Xvfb and saves pictures of the main window on each page,
# the message box in each mode and the updater's messages, in English and German:
# build/screenshots/*.png.
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
set_language() { wine reg add 'HKCU\Software\Tessera' /v Language /d "$1" /f >/dev/null 2>&1; }
# Everything is centred on the 1280 x 1024 screen.
main=800x600+240+212
box=300x200+490+412

start_tessera() {
    wine Tessera.exe &
    app=$!
    for _ in $(seq 100); do wine ui_probe.exe send 0x400 0 >/dev/null 2>&1 && break; sleep 0.2; done
}
stop_tessera() {
    xdotool mousemove 640 1000
    wine ui_probe.exe send 0x10 0 || true
    wait "$app" || true
}

# English: every page, a hovered caption button.
set_language English
start_tessera
shot main_home "$main"
wine ui_probe.exe send 0x403 0; shot main_options "$main"
wine ui_probe.exe send 0x404 0; shot main_scan "$main"
wine ui_probe.exe send 0x40C 0; shot main_recovered "$main"
wine ui_probe.exe send 0x402 0
xdotool mousemove 1018 225; shot main_hover_close "$main"
stop_tessera

# Each box is 300 x 200.
for mode in 0 1 2 3 4 7; do
    wine ui_probe.exe box "$mode" &
    probe=$!
    shot "message_mode_$mode" "$box"
    wait "$probe" 2>/dev/null || true
done

# The cache warning, 400 x 200.
for language in English Deutsch; do
    wine ui_probe.exe warning "$language" &
    probe=$!
    shot "cache_warning_$language" 400x200+440+412
    wait "$probe" 2>/dev/null || true
done

# The updater's three messages, from version files served on the loopback interface.
served=$(mktemp -d)
trap 'rm -rf "$served"; wine_session_end' EXIT
version=$(sed -n 's/^#define TESSERA_VERSION_TEXT "\(.*\)"$/\1/p' "$root/build/win/src/generated/version.h")
echo "$version" >"$served/same.txt"
echo "99.0.0" >"$served/newer.txt"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$served" >"$served/log" 2>&1 &
server=$!
for _ in $(seq 50); do grep -q 'port' "$served/log" && break; sleep 0.1; done
port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$served/log" | head -n 1)
for language in English Deutsch; do
    set_language "$language"
    for answer in same newer missing; do
        wine update/update.exe "http://127.0.0.1:$port/$answer.txt" &
        updater=$!
        shot "update_${answer}_$language" "$box"
        wine ui_probe.exe close Tessera || true
        wait "$updater" 2>/dev/null || true
    done
done
kill "$server" 2>/dev/null || true

wine reg delete 'HKCU\Software\Tessera' /v Language /f >/dev/null 2>&1 || true
echo "screenshots in $out"
ls "$out"
