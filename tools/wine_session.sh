# Sourced by the run and test scripts: prepares the Wine prefix, gives Wine an X display (a
# private Xvfb unless one is already set, or always with TESSERA_XVFB=1) and keeps one wineserver
# running for the session, which makes each Wine start about 50 times faster. Everything started
# here is stopped when the calling script exits.
: "${WINEPREFIX:?set WINEPREFIX before sourcing wine_session.sh}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine_prefix.sh" "$WINEPREFIX"

xvfb_pid=""
wine_session_end() {
    exec 9>&- 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap wine_session_end EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ] || [ "${TESSERA_XVFB:-0}" = 1 ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
    DISPLAY=":$(cat "$display_file")"
    rm -f "$display_file"
    export DISPLAY
fi
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true

# Wine starts its desktop process for the first program that needs one, and that process keeps
# the starter's standard error. Were a test the starter, its output pipe would stay open for as
# long as the desktop lives, and the test would be timed out although it had passed. So a console
# waits on a pipe for the whole session (the desktop lives while any program does) and the
# desktop is started here, with its output going nowhere.
keeper_fifo=$(mktemp -u)
mkfifo "$keeper_fifo"
wine cmd <"$keeper_fifo" >/dev/null 2>&1 &
exec 9>"$keeper_fifo"
rm -f "$keeper_fifo"
wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 || true
