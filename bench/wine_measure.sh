#!/usr/bin/env bash
# The Windows program's overhead under Wine: orvenna.exe against win32_minimal
# (the same calls, nothing else), alternately, in one Wine session with the
# test fixture (see tests/windows/wine_fixture.cpp), on a memory file system.
#   bench/wine_measure.sh BUILD_WIN_DIRECTORY [ROUNDS]
# orvenna.exe's cycle time is its wall time from the banner (after start-up
# and the Explorer probe) to the closing prompt, over 7; win32_minimal's is
# its own mean over 7 cycles.
set -eu
[ $# -ge 1 ] || { echo "usage: bench/wine_measure.sh BUILD_WIN_DIRECTORY [ROUNDS]" >&2; exit 2; }
build=$(realpath "$1")
rounds=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target orvenna win32_minimal wine_fixture > /dev/null ||
    { echo "could not build orvenna, win32_minimal and the fixture in $build (configure it with the mingw toolchain)" >&2; exit 1; }

session=$(mktemp -d /tmp/orvenna-wine-measure-XXXXXX)
socket="orvenna-measure-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; bash "$here/../tests/windows/wine_session.sh" stop "$session"' EXIT
bash "$here/../tests/windows/wine_session.sh" start "$session" "$build/tests/windows/wine_fixture.so"
source "$session/env"

until_line() {  # until_line FILE TEXT: waits, then prints the time
    until grep -qF -- "$2" "$1" 2>/dev/null; do sleep 0.05; done
    date +%s.%N
}

product_cycle_ms() {  # one run of orvenna.exe; prints its cycle time
    local directory
    directory=$(mktemp -d "$ORVENNA_FIXTURE_ROOT/product-XXXXXX")
    tmux -L "$socket" new-session -d -s product \
        "source '$session/env' && cd '$directory' && wine '$build/orvenna.exe' > '$directory.out'"
    local started ended
    started=$(until_line "$directory.out" "Orvenna V$(bash "$here/../release/version.sh")")
    ended=$(until_line "$directory.out" "Press [a] for About")
    tmux -L "$socket" send-keys -t product x
    while tmux -L "$socket" has-session -t product 2>/dev/null; do sleep 0.2; done
    rm -rf "$directory" "$directory.out"
    awk '{printf "%.0f\n", ($2 - $1) * 1000 / 7}' <<< "$started $ended"
}

minimal_cycle_ms() {
    local directory
    directory=$(mktemp -d "$ORVENNA_FIXTURE_ROOT/minimal-XXXXXX")
    (cd "$directory" && wine "$build/bench/win32_minimal.exe" 7 | tr -d '\r')
    rm -rf "$directory"
}

ratios=()
for ((round = 1; round <= rounds; round++)); do
    # Alternate which goes first, so that neither always meets a warmer system.
    if ((round % 2)); then
        product=$(product_cycle_ms)
        minimal=$(minimal_cycle_ms)
    else
        minimal=$(minimal_cycle_ms)
        product=$(product_cycle_ms)
    fi
    ratio=$(awk '{printf "%.3f", $1 / $2}' <<< "$product $minimal")
    ratios+=("$ratio")
    echo "round $round: orvenna.exe $product ms/cycle, win32_minimal $minimal ms/cycle, ratio $ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{r[NR] = $1} END {printf "ratio min %s  median %s  max %s\n", r[1], r[int((NR + 1) / 2)], r[NR]}'
