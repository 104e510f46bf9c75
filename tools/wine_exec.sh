#!/bin/sh
# Runs a Windows program under Wine in the project's test prefix (never ~/.wine).
# WINEPREFIX may be set by the caller; otherwise the prefix of the Windows build is used.
#
# The program's output goes to a log file first and is copied to standard output when it ends:
# a helper Wine starts on the program's behalf inherits its standard error and may outlive it,
# and it must not hold the test runner's pipe open. A program stopped by the runner's timeout
# leaves its output in the log (TESSERA_TEST_LOGS, else build/win/test-logs).
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/win/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
: "${TESSERA_TEST_LOGS:=$here/build/win/test-logs}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
mkdir -p "$TESSERA_TEST_LOGS"
log="$TESSERA_TEST_LOGS/$(basename "$1" .exe).log"
wine "$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
exit "$status"
