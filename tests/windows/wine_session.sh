#!/usr/bin/env bash
# One Wine session for the Windows tests: a private X display and a fresh
# Wine prefix, described by SESSION/env for the scripts that use them.
#   wine_session.sh start SESSION | stop SESSION | run SESSION PROGRAM [ARGS...]
set -u
action=$1 session=$2
shift 2

case "$action" in
start)
    rm -rf "$session" && mkdir -p "$session"
    display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > "$session/xvfb.log" 2>&1 &
    echo $! > "$session/xvfb.pid"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    cat > "$session/env" <<ENV
export DISPLAY=:$display WINEPREFIX=$session/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ENV
    source "$session/env"
    wineboot --init > "$session/wineboot.log" 2>&1
    wineserver -w
    test -d "$WINEPREFIX/drive_c/windows"
    ;;
stop)
    if [ -f "$session/env" ]; then source "$session/env"; wineserver -k 2>/dev/null; fi
    [ -f "$session/xvfb.pid" ] && kill "$(cat "$session/xvfb.pid")" 2>/dev/null
    rm -rf "$session"
    true
    ;;
run)
    source "$session/env"
    scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-wine-XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    cd "$scratch" && wine "$@"
    ;;
esac
