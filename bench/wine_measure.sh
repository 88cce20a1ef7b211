#!/usr/bin/env bash
# The Windows program's overhead under Wine: orvenna.exe against win32_minimal
# (the same calls, nothing else), alternately, in one Wine session with the
# test fixture (see tests/windows/wine_fixture.cpp), on a memory file system.
#   bench/wine_measure.sh BUILD_WIN_DIRECTORY [ROUNDS]
# Both programs meet the same surroundings: a running wineserver that stays up
# between runs, a tmux pane as console, output into a file, a fresh directory
# under the fixture's root. Each is timed the same way, from inside Wine by
# the fixture, cycle by cycle: from the cycle's first directory made to its
# last removed, as the product times its own cycles. A run's figure is the
# median of its seven spans, which one disturbed cycle does not move. A run
# counts only if it exits normally and the fixture saw each of its seven
# cycles make and remove all 92,160 directories. Exits 0 after a measurement,
# 1 when a run failed.
set -eu
[ $# -ge 1 ] || { echo "usage: bench/wine_measure.sh BUILD_WIN_DIRECTORY [ROUNDS]" >&2; exit 2; }
build=$(realpath "$1")
rounds=${2:-7}
here=$(cd "$(dirname "$0")" && pwd)
cmake --build "$build" --target orvenna win32_minimal wine_fixture > /dev/null ||
    { echo "could not build orvenna, win32_minimal and the fixture in $build (configure it with the mingw toolchain)" >&2; exit 1; }

session=$(mktemp -d /tmp/orvenna-wine-measure-XXXXXX)
bash "$here/../tests/windows/wine_session.sh" start "$session" "$build/tests/windows/wine_fixture.so"
# Wine's server and services on the first processor, this script and so the
# programs it starts (and theirs) on the second: where the server and 1,024
# threads meet on the scheduler then no longer changes from run to run.
if [ "$(nproc)" -ge 2 ]; then
    for environment in /proc/[0-9]*/environ; do
        grep -qzxF "WINEPREFIX=$session/prefix" "$environment" 2>/dev/null &&
            taskset -apc 0 "$(basename "$(dirname "$environment")")" > /dev/null
    done
    taskset -pc 1 $$ > /dev/null
fi
source "$here/../tests/lib/transcript.sh"
source "$here/../tests/windows/wine_run.sh"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$runs"; bash "$here/../tests/windows/wine_session.sh" stop "$session"' EXIT

# Every cycle's directories made and removed, by the fixture's counts.
check_counts() {  # check_counts NAME
    local letter
    for letter in a b c d e f g; do
        if [ "$(count_of created $letter)" != 92160 ] || [ "$(count_of removed $letter)" != 92160 ]; then
            echo "$1: cycle $letter made $(count_of created $letter) and removed $(count_of removed $letter) of 92160 directories" >&2
            exit 1
        fi
    done
}

cycle_ms() {  # cycle_ms NAME PROGRAM LAST_LINE: one run; prints the median of its seven cycle spans in ms
    local name=$1 last=$3 letter spans=()
    program=$2
    start_program "$name" "$(run_directory "$name")"
    wait_for_output "$name" "$last" || exit 1
    [ "$name" = product ] && press product x
    local status
    status=$(wait_for_exit "$name")
    [ "$status" = 0 ] || { echo "$name: exit code $status" >&2; tr -d '\r' < "$runs/$name.out" >&2; exit 1; }
    check_counts "$name"
    for letter in a b c d e f g; do
        spans+=($((($(count_of last_removed_ns $letter) - $(count_of first_created_ns $letter)) / 1000000)))
    done
    rm -rf "${runs:?}/$name" "$runs/$name".*
    printf '%s\n' "${spans[@]}" | sort -n | sed -n 4p
}

product_cycle_ms() {
    cycle_ms product "$build/orvenna.exe" "Press [a] for About"
}

minimal_cycle_ms() {  # seven cycles, its default; it exits with 1 if a call failed
    cycle_ms minimal "$build/bench/win32_minimal.exe" "end "
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
    echo "round $round: median cycle orvenna.exe $product ms, win32_minimal $minimal ms, ratio $ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{r[NR] = $1} END {printf "ratio min %s  median %s  max %s\n", r[1], r[int((NR + 1) / 2)], r[NR]}'
