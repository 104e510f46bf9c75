#!/bin/sh
# Installs the Debian packages the build and the tests need, skipping those already present.
# ffmpeg makes the test videos; Wine's Media Foundation decodes H.264 and HEVC through GStreamer,
# which needs its base and good plugins (the MP4 demuxer) and the libav decoders.
set -eu
packages="cmake ninja-build g++ googletest
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
wine wine64 xvfb xdotool imagemagick dosfstools mtools sox exfatprogs python3
fonts-wine fonts-liberation fonts-liberation2 fonts-dejavu-core
dpkg-dev debian-archive-keyring nsis
ffmpeg gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
