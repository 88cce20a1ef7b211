#!/usr/bin/env bash
# Runs that share a start directory but not a claim: a new run in another
# network namespace, a run whose claim cannot be made, and runs that see the
# directory through a FUSE view of it (bindfs: another device and file system
# type, as a share looks from another machine), both ways round. The run that
# is going is never opened nor touched by the other: it stays valid, every
# directory of it made and removed by itself.
# Namespaces and mounts need root; without it the test is skipped (exit 77).
#   shared_start.sh PROGRAM SHIM_LIBRARY (PROGRAM linked dynamically, see run_shim.cpp)
set -u
program=$(realpath "$1") shim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/../lib/runs.sh"

if [ "$(id -u)" != 0 ] || ! command -v bindfs > /dev/null || ! unshare --net true 2> /dev/null; then
    echo "skipped: needs root, unshare and bindfs"
    exit 77
fi
scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-shared-XXXXXX")
start="$scratch/start" view="$scratch/view"
mkdir -p "$start" "$view"
trap 'kill -s KILL $(jobs -p) 2> /dev/null; wait; umount -l "$view" 2> /dev/null; rm -rf "$scratch"' EXIT
bindfs "$start" "$view" || { echo "FAIL bindfs could not show $start at $view"; exit 1; }

# Starts run NAME in DIRECTORY, keys from KEYS, behind the command words
# PREFIX (none, `unshare --net`, `env ...`); output in NAME.out.
start_run() {  # start_run NAME DIRECTORY KEYS [PREFIX...]
    local name=$1 directory=$2 keys=$3
    shift 3
    (cd "$directory" && exec "$@" "$program" < "$keys" > "$scratch/$name.out" 2> "$scratch/$name.err") &
    pid=$!
}

# Until run PID has printed TEXT into FILE; fails at once if it ended without it.
wait_for_line_of() {  # wait_for_line_of PID FILE TEXT
    while count_lines "$2" "$3" && [ "$line_count" = 0 ]; do
        running "$1" || { count_lines "$2" "$3"; [ "$line_count" -gt 0 ]; return; }
        pause_for 0.05
    done
}

# The going run ends valid: exit code 0 and the usual complete transcript.
check_completed_valid() {  # check_completed_valid NAME PID
    wait "$2"
    check "$1: completes" test $? = 0
    expected_complete_run "$(announced_workspace "$scratch/$1.out")" > "$scratch/$1.expected"
    check "$1: a valid average, nothing removed but its own" \
        compare_transcript "$scratch/$1.out" "$scratch/$1.expected"
}

# 1 and 2. The going run is frozen in cycle 2 with directories made, so it
# changes nothing while the new run looks: only its mark in the file system
# can show that it lives.
beside_frozen_run() {  # beside_frozen_run NAME NEW_RUN_PREFIX GOING_RUN_PREFIX...
    local name=$1 new_prefix=$2
    shift 2
    start_run "$name" "$start" <(printf x) "$@"
    local going=$pid
    check "$name: frozen in cycle 2 with directories made" \
        freeze_with_directories "$going" "$scratch/$name.out" 2
    local workspace count
    workspace=$(announced_workspace "$scratch/$name.out")
    count=$(directories_in "$workspace")
    # shellcheck disable=SC2086 # the prefix is words
    start_run "$name-new" "$start" <(printf x) $new_prefix
    wait "$pid"
    check "$name: the new run completes beside it" test $? = 0
    check "$name: the new run removed nothing" test -z "$(grep -a Removed "$scratch/$name-new.out")"
    check "$name: its workspace untouched while frozen" test "$(directories_in "$workspace")" = "$count"
    kill -s CONT "$going"
    check_completed_valid "$name" "$going"
}
beside_frozen_run other-namespace "unshare --net"
beside_frozen_run no-claim "" env LD_PRELOAD="$shim" ORVENNA_SHIM_REFUSE_UNIX_SOCKETS=1

# 3 and 4. Through the view the mark does not show; the going run shows by
# changing its workspace. It is held at the start of cycle 1's removal pass,
# its directories all made, changing one of them, until the new run has looked
# (it has announced its own workspace) and been stopped.
beside_changing_run() {  # beside_changing_run NAME GOING_DIRECTORY NEW_DIRECTORY
    local name=$1
    start_run "$name" "$2" <(printf x) env LD_PRELOAD="$shim" ORVENNA_SHIM_HOLD_REMOVAL="$scratch/$name.release"
    going=$pid
    until [ -e "$scratch/$name.release.holding" ]; do
        running "$going" || break
        pause_for 0.05
    done
    check "$name: held with cycle 1's directories made" test -e "$scratch/$name.release.holding"
    start_run "$name-new" "$3" /dev/null
    wait_for_line_of "$pid" "$scratch/$name-new.out" "Workspace directory"
    kill -s INT "$pid"
    wait "$pid"
    check "$name: the new run looked and stopped" test $? = 130
    check "$name: the new run removed nothing" test -z "$(grep -a Removed "$scratch/$name-new.out")"
    touch "$scratch/$name.release"
}
beside_changing_run new-through-view "$start" "$view"
check_completed_valid new-through-view "$going"
# Through the view every cycle is slow: cycle 1, where the new run looked,
# must end valid; then the run is stopped.
beside_changing_run going-through-view "$view" "$start"
check "going-through-view: cycle 1 ends" wait_for_line_of "$going" "$scratch/going-through-view.out" "Orvenna 2/7"
kill -s INT "$going"
wait "$going"
check "going-through-view: stopped" test $? = 130
check "going-through-view: cycle 1 saved, never invalidated" \
    test "$(grep -a -c 'Result saved' "$scratch/going-through-view.out")" -ge 1 -a \
    "$(grep -a -c 'invalidated' "$scratch/going-through-view.out")" = 0

check "the start directory empty at the end" test -z "$(ls -A "$start")"
report_checks
