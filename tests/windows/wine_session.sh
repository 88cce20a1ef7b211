#!/usr/bin/env bash
# One Wine session for the Windows tests: a private X display, a fresh Wine
# prefix, and the fixture library (wine_fixture.cpp) preloaded into every Wine
# process from the first on, wineserver included. Runs go in ROOT, a short
# directory on a memory file system; COUNTS is the fixture's shared record.
# SESSION/env describes all of it for the scripts that use it.
#
# One wineserver and its services serve the whole session, started here with
# their output to the session's logs. A wineserver that came and went between
# runs started them again from whichever test ran Wine next, holding that
# test's output open, and once left them waiting without a server: the test
# never ended.
#   wine_session.sh start SESSION FIXTURE_LIBRARY | stop SESSION | run SESSION PROGRAM [ARGS...]
set -u
action=$1 session=$2
shift 2

case "$action" in
start)
    fixture=$1
    rm -rf "$session" && mkdir -p "$session"
    root=$(mktemp -d /dev/shm/orvenna-wine-XXXXXX)
    echo "$root" > "$session/root"
    display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > "$session/xvfb.log" 2>&1 &
    echo $! > "$session/xvfb.pid"
    # Wine needs the display: until its socket is there, however long a loaded machine takes.
    for _ in $(seq 1200); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    if [ ! -e "/tmp/.X11-unix/X$display" ]; then
        echo "Xvfb :$display did not come up in 120 s:" >&2
        cat "$session/xvfb.log" >&2
        exit 1
    fi
    head -c 4096 /dev/zero > "$session/counts"
    cat > "$session/env" <<ENV
export DISPLAY=:$display WINEPREFIX=$session/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LD_PRELOAD=$fixture ORVENNA_FIXTURE_ROOT=$root ORVENNA_FIXTURE_COUNTS=$session/counts
ENV
    source "$session/env"
    wineboot --init > "$session/wineboot.log" 2>&1
    wineserver -w
    test -d "$WINEPREFIX/drive_c/windows"
    wineserver --persistent > "$session/wineserver.log" 2>&1
    wineboot >> "$session/wineboot.log" 2>&1
    ;;
stop)
    if [ -f "$session/env" ]; then
        # In a subshell: what it exports must not mark this script's own
        # processes as the session's below.
        (source "$session/env" && wineserver -k 2>/dev/null)
        # A Wine process whose wineserver is gone waits for it for ever. A
        # script that sourced the session's environment (the bench) is no
        # Wine process: neither this script nor any of its callers is killed.
        callers=" "
        process=$$
        while [ "$process" -gt 1 ]; do
            callers+="$process "
            process=$(awk '/^PPid:/ {print $2}' "/proc/$process/status" 2>/dev/null || echo 1)
        done
        for environment in /proc/[0-9]*/environ; do
            process=$(basename "$(dirname "$environment")")
            [[ $callers == *" $process "* ]] && continue
            grep -qzxF "WINEPREFIX=$session/prefix" "$environment" 2>/dev/null && kill -s KILL "$process" 2>/dev/null
        done
        # wineserver keeps its socket in a folder named after the prefix's device
        # and inode, in /tmp/.wine-UID or (Debian's Wine) a /tmp/wine-XXXXXX of its own.
        server_name=$(printf 'server-%x-%x' $(stat -c '%d %i' "$session/prefix"))
        for server in "/tmp/.wine-$(id -u)/$server_name" /tmp/wine-*/"$server_name"; do
            [ -d "$server" ] || continue
            for _ in $(seq 50); do [ -e "$server/socket" ] || break; sleep 0.1; done
            rm -rf "$server"
            rmdir "$(dirname "$server")" 2>/dev/null
        done
    fi
    [ -f "$session/xvfb.pid" ] && kill "$(cat "$session/xvfb.pid")" 2>/dev/null
    [ -f "$session/root" ] && rm -rf "$(cat "$session/root")"
    rm -rf "$session"
    true
    ;;
run)
    source "$session/env"
    # Outside the root: these checks list directories, which must read as they are.
    scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-wine-XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    cd "$scratch" && wine "$@"
    ;;
esac
