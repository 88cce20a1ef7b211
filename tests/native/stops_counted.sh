#!/usr/bin/env bash
# Stops whose effect a transcript cannot show, with the program preloaded with
# the shim (see run_shim.cpp):
# - a stop while the threads create: the workers stop at once, as the count
#   of directories made shows;
# - the output's reader goes away while the threads create: the program
#   notices during its wait, without printing, and stops. The first thread is
#   held at its first directory until the program has looked at its output and
#   found the reader gone, so the cycle cannot end first; a program that only
#   notices at its next print never ends here.
#   stops_counted.sh PROGRAM SHIM_LIBRARY (PROGRAM linked dynamically)
set -u
program=$(realpath "$1") shim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/check.sh"
source "$here/../lib/runs.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-stops-counted-XXXXXX")
# The runs and the reader are children of this script or of the subshell below.
trap 'pkill -KILL -P "${reader:-0}" 2> /dev/null; kill -s KILL $(jobs -p) 2> /dev/null; wait; rm -rf "$scratch"' EXIT

# 1. Frozen right after cycle 1's launch line; SIGTERM, let go. Each worker
# checks for a stop before each directory, so the cycle is never completed.
# (How many the running workers make before the main thread takes the request
# is the scheduler's: 51 here alone, 1,080 on the loaded machine.)
counts="$scratch/creations"
head -c 8 /dev/zero > "$counts"
made() { od -An -t u8 -N 8 "$counts" | tr -d ' '; }
mkdir "$scratch/creation"
(cd "$scratch/creation" && exec env LD_PRELOAD="$shim" ORVENNA_SHIM_COUNT_CREATIONS="$counts" "$program" \
    < /dev/null > "$scratch/creation.out") &
pid=$!
check "creation: frozen right after the launch's line" \
    freeze_after_line "$pid" "$scratch/creation.out" ".DIAG. Creating 92160 directories with 1024 threads."
at_freeze=$(made)
kill -s TERM "$pid"
kill -s CONT "$pid"
wait "$pid"
check "creation: ended by SIGTERM" test $? = 143
check "creation: the workers stopped ($((at_freeze - 1)) directories made when frozen, $(($(made) - 1)) in all)" \
    test $(($(made) - 1)) -lt 92160
check "creation: what it made removed, the workspace with it" test -z "$(ls -A "$scratch/creation")"

# 2. The reader leaves after the last line before the wait.
mkdir "$scratch/gone"
(
    cd "$scratch/gone" && env LD_PRELOAD="$shim" ORVENNA_SHIM_HOLD_CREATION=1 "$program" < /dev/null |
        sed -n '/Waiting for threads/q'
    echo "${PIPESTATUS[0]}" > "$scratch/gone.status"
) &
reader=$!
# Bounded only for a program that does not notice: one that does ends at once.
for _ in $(seq 600); do
    [ -s "$scratch/gone.status" ] && break
    pause_for 0.1
done
check "reader gone: noticed during the wait, and ended" test -s "$scratch/gone.status"
[ -s "$scratch/gone.status" ] || { report_checks; exit; }
check "reader gone: ended as a broken pipe ends a program (SIGPIPE)" test "$(cat "$scratch/gone.status")" = 141
wait "$reader"
check "reader gone: what it made removed, the workspace with it" test -z "$(ls -A "$scratch/gone")"
report_checks
