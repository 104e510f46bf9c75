#!/bin/sh
# Runs a Windows program under Wine in the project's test prefix (never ~/.wine).
# WINEPREFIX may be set by the caller; otherwise the prefix of the Windows build is used.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/win/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
