#!/bin/sh
# Starts Tessera under Wine on a private Xvfb and saves pictures of the main window on each page,
# the message box in each mode and the updater's messages, in English and German (the grown
# message box and the about dialog also in French and Portuguese):
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
shot() { sleep "${3:-1.5}"; import -window root -crop "$2" +repage "$out/$1.png"; }
# A box or dialog opened by another process: waits until something is drawn where it shows (the
# bare screen is black there; a busy machine can take several seconds), then lets it finish
# painting.
shot_shown() {
    for _ in $(seq 100); do
        mean=$(import -window root -crop "$2" +repage -format '%[fx:mean]' info: 2>/dev/null || echo 0)
        awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }' && break
        sleep 0.2
    done
    shot "$1" "$2" 1
}
# ... and until it is gone again, so that the next picture cannot catch it.
wait_gone() {
    for _ in $(seq 50); do
        mean=$(import -window root -crop "$1" +repage -format '%[fx:mean]' info: 2>/dev/null || echo 0)
        awk -v m="$mean" 'BEGIN { exit !(m < 0.01) }' && break
        sleep 0.2
    done
}
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

# A cache holding the work files of a large earlier scan, so that loading it lasts a moment.
cache="$root/build/screenshot-cache"
if [ ! -d "$cache/tmp" ]; then
    mkdir -p "$cache/tmp"
    (cd "$cache/tmp" && seq -f 'photo%05g.jpg' 1 20000 | xargs touch)
fi
wine reg add 'HKCU\Software\Tessera' /v CachePath /d "$(winepath -w "$cache")" /f >/dev/null 2>&1

# The home page idle and loading and the about dialog in English and German; in English also the
# other pages and a hovered caption button. The about dialog is 500 x 400.
for language in English Deutsch; do
    set_language "$language"
    start_tessera
    shot "home_$language" "$main"
    wine ui_probe.exe post 0x111 40010
    shot "about_$language" 500x400+390+312
    wine ui_probe.exe close About || true
    # Wine on a display without a window manager takes up to 2 s to hide a closed dialog.
    sleep 3
    xdotool mousemove 823 490 click 1
    shot "home_loading_$language" "$main" 0.3
    sleep 4  # the load ends and the scan page shows
    shot "scan_loaded_$language" "$main" 5
    if [ "$language" = English ]; then
        wine ui_probe.exe send 0x403 0; shot main_options "$main"
        wine ui_probe.exe send 0x404 0; shot main_scan "$main"
        wine ui_probe.exe send 0x40C 0; shot main_recovered "$main"
        wine ui_probe.exe send 0x402 0
        xdotool mousemove 1018 225; shot main_hover_close "$main"
    fi
    stop_tessera
done

# The grid and the details column of earlier results whose engine index names the finds: the
# labels are the names the files will be saved under, the column the original folder, whether
# the entry was deleted and its date, in English and German.
names_cache="$root/build/screenshot-names"
if [ ! -f "$names_cache/tmp/.ember_index" ]; then
    rm -rf "$names_cache"
    mkdir -p "$names_cache/tmp"
    printf '# ember index 1\n' >"$names_cache/tmp/.ember_index"
    n=0
    for name in 'DCIM\100CANON\IMG_20240614_183012.jpg:deleted:2024-06-14 18:30:12' \
                'DCIM\100CANON\_MG_0002.JPG:deleted:2024-06-14 18:31:40' \
                'DCIM\Camera\PXL_20240615_090000123.jpg:live:2024-06-15 09:00:00' \
                'DCIM\100CANON\CON.jpg:deleted:2024-06-16 12:00:00' \
                ':-:'; do
        n=$((n + 1))
        convert -seed "$n" -size 640x480 plasma:fractal -quality 80 "$names_cache/tmp/f000010$n.jpg"
        path=${name%%:*}; rest=${name#*:}; state=${rest%%:*}; time=${rest#*:}
        assembly=chain; [ "$state" = deleted ] && assembly=contiguous; [ "$state" = - ] && assembly=carved
        printf 'f000010%s.jpg\t%s\t%s\t%s\t%s\t\twhole\n' "$n" "$path" "$state" "$assembly" "$time" \
            >>"$names_cache/tmp/.ember_index"
    done
fi
wine reg add 'HKCU\Software\Tessera' /v CachePath /d "$(winepath -w "$names_cache")" /f >/dev/null 2>&1
for language in English Deutsch; do
    set_language "$language"
    start_tessera
    xdotool mousemove 823 490 click 1
    sleep 4
    xdotool mousemove $(wine ui_probe.exe point TesseraPreviewGrid 60 40) click 1
    shot "scan_names_$language" "$main" 2
    stop_tessera
done
wine reg delete 'HKCU\Software\Tessera' /v CachePath /f >/dev/null 2>&1 || true
set_language English
# A scan loaded from a cache that holds real camera photos, whole and damaged the ways cards
# damage them (the second half zeroed, cut at 60 %, 8 KiB of another photo laid over the
# middle), and videos: motion JPEG whole and cut, camera and phone MP4 and QuickTime files (MPEG-4,
# H.264, HEVC), H.264 and HEVC clips made here, and an MP4 cut before its movie box. The damaged
# photos show grey or garbled rows where their data is missing, the videos their first frame (the
# cut MP4 its placeholder). Needs the shared sample files.
media="$root/../shared/bench-media"
[ -d "$media" ] || media="$root/../../shared/bench-media"
if [ -d "$media/thorsted+digicam_corpus" ]; then
    damaged="$root/build/screenshot-damaged"
    rm -rf "$damaged"
    mkdir -p "$damaged/tmp"
    find "$media/thorsted+digicam_corpus" -iname '*.jpg' | sort | awk 'NR % 23 == 1' | head -n 4 >"$damaged/list"
    other=$(tail -n 1 "$damaged/list")
    n=0
    while read -r photo; do
        n=$((n + 1))
        size=$(stat -c %s "$photo")
        cp "$photo" "$damaged/tmp/p${n}_whole.jpg"
        head -c $((size / 2)) "$photo" >"$damaged/tmp/p${n}_zeroed.jpg"
        truncate -s "$size" "$damaged/tmp/p${n}_zeroed.jpg"
        head -c $((size * 6 / 10)) "$photo" >"$damaged/tmp/p${n}_cut.jpg"
        cp "$photo" "$damaged/tmp/p${n}_overlaid.jpg"
        dd if="$other" of="$damaged/tmp/p${n}_overlaid.jpg" bs=8192 count=1 conv=notrunc status=none \
            skip=$(($(stat -c %s "$other") / 2 / 8192)) seek=$((size / 2 / 8192))
    done <"$damaged/list"
    for video in "$media"/drewnoakes+metadata-extractor-images/avi/*.AVI; do
        n=$((n + 1))
        cp "$video" "$damaged/tmp/v${n}_whole.avi"
        head -c 100000 "$video" >"$damaged/tmp/v${n}_cut.avi"
    done
    for video in "$media"/drewnoakes+metadata-extractor-images/mp4/*.mp4 \
        "$media"/drewnoakes+metadata-extractor-images/mov/*.mov "$media/thorsted+digicam_corpus/Apple/iPhone XR/"*.mov; do
        n=$((n + 1))
        extension=$(echo "${video##*.}" | tr 'A-Z' 'a-z')
        cp "$video" "$damaged/tmp/v${n}_camera.$extension"
    done
    pattern="testsrc2=size=1280x720:rate=25:duration=1"
    ffmpeg -loglevel error -y -f lavfi -i "$pattern" -c:v libx264 -pix_fmt yuv420p "$damaged/tmp/v90_h264.mp4"
    ffmpeg -loglevel error -y -f lavfi -i "$pattern" -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p \
        -tag:v hvc1 "$damaged/tmp/v91_hevc.mov"
    # Written with the movie box last, as cameras do, and cut before it.
    head -c $(($(stat -c %s "$damaged/tmp/v90_h264.mp4") / 2)) "$damaged/tmp/v90_h264.mp4" >"$damaged/tmp/v92_cut.mp4"
    wine reg add 'HKCU\Software\Tessera' /v CachePath /d "$(winepath -w "$damaged")" /f >/dev/null 2>&1
    set_language English
    start_tessera
    xdotool mousemove 823 490 click 1
    shot scan_damaged_photos "$main" 20
    # The Videos branch of the tree: the grid then shows the videos alone.
    xdotool mousemove 313 440 click 1
    shot scan_video_frames "$main" 5
    xdotool mousemove 620 562 click --repeat 10 5
    shot scan_video_frames_more "$main" 3
    stop_tessera
    rm -rf "$damaged"
    wine reg add 'HKCU\Software\Tessera' /v CachePath /d "$(winepath -w "$cache")" /f >/dev/null 2>&1
fi

# The options page in German, with the card list open, and refusing a cache folder on the card
# being searched (X:), in English. Clicks land in the middle of a control, found by its id.
click() { xdotool mousemove $(wine ui_probe.exe where TesseraOptionsPage "$1") click 1; }
wine reg add 'HKCU\Software\Tessera' /v CachePath /d 'X:\' /f >/dev/null 2>&1
set_language Deutsch
start_tessera
wine ui_probe.exe send 0x403 0; shot main_options_de "$main"
stop_tessera
set_language English
start_tessera
wine ui_probe.exe send 0x403 0
click 8; shot main_options_cards_open "$main"
xdotool key Down Return   # the list runs Z:, X:, C: in the test prefix
click 11; click 3; shot main_options_cache_on_card "$main"
xdotool key Escape
stop_tessera
wine reg delete 'HKCU\Software\Tessera' /v CachePath /f >/dev/null 2>&1 || true

# The scan page on the sample card made larger with zeros, so that the search runs a while: the
# search running with thumbnails in the grid, finished with a photo's details, a recovery of the
# ticked photos with its spinner, and its end. Drive X: is the card while this runs.
sample="$root/build/win/sample-card"
[ -f "$sample/card.img" ] || cmake --build "$root/build/win" --target sample_card >/dev/null
card=$(mktemp -d)
cp "$sample/card.img" "$card/card.img"
truncate -s 8G "$card/card.img"
mkdir "$card/root"
shots_folder="$WINEPREFIX/drive_c/tessera_shots"
rm -rf "$shots_folder"
mkdir -p "$shots_folder/recovered"
put_test_card_back() {
    ln -sfn "$root/build/win/test-card/root" "$WINEPREFIX/dosdevices/x:"
    ln -sfn "$root/build/win/test-card/card.img" "$WINEPREFIX/dosdevices/x::"
    rm -rf "$card" "$shots_folder"
}
trap 'put_test_card_back; wine_session_end' EXIT
ln -sfn "$card/root" "$WINEPREFIX/dosdevices/x:"
ln -sfn "$card/card.img" "$WINEPREFIX/dosdevices/x::"
click_in() { xdotool mousemove $(wine ui_probe.exe point "$1" "$2" "$3") click 1; sleep 0.3; }
wine reg add 'HKCU\Software\Tessera' /v RecoveryPath /d 'C:\tessera_shots\recovered' /f >/dev/null 2>&1
start_tessera
wine ui_probe.exe scan 'X:\' 'C:\tessera_shots\cache'
sleep 3
shot scan_running "$main"
for _ in $(seq 120); do [ "$(wine ui_probe.exe text 7)" = Start ] && break; sleep 1; done
click_in TesseraPreviewGrid 60 50
shot scan_finished "$main"
click_in TesseraScanPage 619 264
# A few small photos are copied in a blink, so one find is made large first: its photo followed
# by 768 MiB of zeros (sparse here, written out in full by the copy). The picture is taken while
# that copy's temporary file grows in the recovery folder, and the next once it is renamed.
big_find=$(ls "$shots_folder"/cache/tmp*/f*.jpg | head -n 1)
truncate -s +768M "$big_find"
copying() { find "$shots_folder/recovered" -name '~*' -size +1M | grep -q .; }
xdotool mousemove $(wine ui_probe.exe point TesseraScanPage 700 310) click 1
for _ in $(seq 300); do copying && break; sleep 0.1; done
shot scan_recovering "$main" 0.3
for _ in $(seq 600); do find "$shots_folder/recovered" -name '~*' | grep -q . || break; sleep 0.2; done
shot scan_recovered "$main"
wine ui_probe.exe close Tessera
stop_tessera
wine reg delete 'HKCU\Software\Tessera' /v RecoveryPath /f >/dev/null 2>&1 || true
put_test_card_back
trap wine_session_end EXIT
# The scan page in German: its buttons sit further right and the recover label starts further left.
set_language Deutsch
start_tessera
wine ui_probe.exe send 0x404 0; shot main_scan_Deutsch "$main"
stop_tessera
set_language English

# A search of a drive that is not there: the engine cannot read it and the scan page says so.
for language in English Deutsch; do
    set_language "$language"
    start_tessera
    wine ui_probe.exe scan 'Q:\' 'C:\tessera_shots\cache'
    shot "scan_no_card_$language" "$main" 3
    wine ui_probe.exe close Tessera || true
    sleep 3
    shot "scan_no_card_after_$language" "$main"
    stop_tessera
done
rm -rf "$shots_folder"
set_language English

# The other ends of a search that the scan page tells, in the mode it shows them.
for language in English Deutsch; do
    for said in scan_no_engine:2 scan_bad_cache:2 scan_not_started:2 scan_cache_full:1 scan_ended_early:1 \
                scan_read_errors:1 scan_read_errors_unknown:1 scan_card_lost:1; do
        wine ui_probe.exe say "${said%%:*}" "${said##*:}" "$language" &
        probe=$!
        shot_shown "${said%%:*}_$language" "$box"
        wait "$probe" 2>/dev/null || true
        wait_gone "$box"
    done
done

# Each box is 300 x 200.
for mode in 0 1 2 3 4 7; do
    wine ui_probe.exe box "$mode" &
    probe=$!
    shot_shown "message_mode_$mode" "$box"
    wait "$probe" 2>/dev/null || true
    wait_gone "$box"
done

# Messages longer than three lines in the box grown to hold them, and the about dialog, in
# German, French and Portuguese; a grown box stays centred, so a taller picture is taken.
for said in no_selection:1:Deutsch recovery_failed_code1:2:Português recovery_disk_full:1:Français; do
    key=${said%%:*}; rest=${said#*:}
    wine ui_probe.exe message "$key" "${rest%%:*}" "${rest#*:}" &
    probe=$!
    shot_shown "grown_${key}_${rest#*:}" 300x300+490+362
    wait "$probe" 2>/dev/null || true
    wait_gone 300x300+490+362
done
for language in Deutsch Français Português; do
    set_language "$language"
    start_tessera
    wine ui_probe.exe post 0x111 40010
    shot "about_dialog_$language" 500x500+390+262
    wine ui_probe.exe close About || true
    sleep 3
    stop_tessera
done
set_language English

# What a recovery tells: the question when closing during one, and how many files of how many
# it recovered when it could not recover them all.
for language in English Deutsch; do
    for message in recovery_close_confirm:3 recovery_disk_full:1 recovery_folder_refused:1 \
        recovery_unreadable:1 recovery_stopped:1; do
        wine ui_probe.exe message "${message%%:*}" "${message##*:}" "$language" &
        probe=$!
        shot_shown "${message%%:*}_$language" "$box"
        wait "$probe" 2>/dev/null || true
        wait_gone "$box"
    done
done

# The cache warning, 400 x 200.
for language in English Deutsch; do
    wine ui_probe.exe warning "$language" &
    probe=$!
    shot_shown "cache_warning_$language" 400x200+440+412
    wait "$probe" 2>/dev/null || true
    wait_gone 400x200+440+412
done

# The updater's three messages, from version files served on the loopback interface.
served=$(mktemp -d)
trap 'rm -rf "$served"; wine_session_end' EXIT
version=$(sed -n 's/^#define TESSERA_VERSION_TEXT "\(.*\)"$/\1/p' "$root/build/win/generated/version.h")
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
        shot_shown "update_${answer}_$language" "$box"
        wine ui_probe.exe close Tessera || true
        wait "$updater" 2>/dev/null || true
        wait_gone "$box"
    done
done
kill "$server" 2>/dev/null || true

wine reg delete 'HKCU\Software\Tessera' /v Language /f >/dev/null 2>&1 || true
wine reg delete 'HKCU\Software\Tessera' /v CachePath /f >/dev/null 2>&1 || true
echo "screenshots in $out"
ls "$out"
