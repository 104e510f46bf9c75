#!/bin/sh
# Prepares the Wine prefix the tests and the run command use (never ~/.wine): created once,
# undecorated windows under Xvfb, Wine's own fonts installed and the Windows faces mapped to
# Debian's metric-compatible ones, and a removable drive X: backed by a small FAT card image
# beside the prefix. Safe to run again; a prepared prefix is left as it is.
set -eu
PATH="$PATH:/usr/sbin:/sbin"
prefix=${1:?usage: wine_prefix.sh PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)   # Wine wants an absolute prefix
stamp="$prefix/.tessera-prepared"
[ -f "$stamp" ] && exit 0
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Verdana /d "DejaVu Sans" /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d "Liberation Sans" /f >/dev/null 2>&1

# Wine's mount manager reads the drive links when the server starts, so they are made here,
# before any test runs. The image is ours alone; nothing else is ever linked as a device.
card="$prefix/../test-card"
mkdir -p "$card/root"
card=$(cd "$card" && pwd)
truncate -s 16M "$card/card.img"
mkfs.vfat -n TESTCARD "$card/card.img" >/dev/null
ln -sfn "$card/root" "$prefix/dosdevices/x:"
ln -sfn "$card/card.img" "$prefix/dosdevices/x::"
wine reg add 'HKLM\Software\Wine\Drives' /v x: /d floppy /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w
touch "$stamp"
