#!/bin/sh
# A video reader that never comes back must neither hold up nor upset the program's end. The probe
# hands the reader a video whose bytes stop coming part way (a card that stopped answering),
# closes, tries one more video, and ends as Tessera.exe does: the wait must have ended with the
# reader still stuck, the video after the closing must get no reader, and the process must end
# with its own exit code, 0, not a crash.
#   video_exit_test.sh BIN_DIR
set -u
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# ffmpeg writes the movie box last, so the demuxer reads past the first 16 KiB before any frame.
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=320x240:rate=30:duration=2" -c:v libx264 -pix_fmt yuv420p \
    "$work/clip.mp4" || exit 1
output=$(timeout 120 wine "$bin/video_exit_probe.exe" "Z:$(echo "$work/clip.mp4" | tr / '\\')" 16384 500 2>/dev/null)
rc=$?
echo "$output (exit code $rc)"
case $output in
*"read -1, after closing -1, readers running 1"*) ;;
*) echo "FAIL: expected the first read given up with its reader still stuck, and none after the closing"; exit 1 ;;
esac
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc, not 0"; exit 1; }
echo "ok"
