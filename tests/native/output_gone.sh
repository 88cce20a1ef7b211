#!/usr/bin/env bash
# The output's reader goes away while a cycle's threads are still creating:
# the program notices during its wait, without printing, and stops. The first
# thread is held at its first directory until the program has looked at its
# output and found the reader gone (see run_shim.cpp), so the cycle cannot end
# first; a program that only notices at its next print never ends here.
#   output_gone.sh PROGRAM SHIM_LIBRARY (PROGRAM linked dynamically)
set -u
program=$(realpath "$1") shim=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/check.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-output-gone-XXXXXX")
# The program and its reader are the children of the subshell started below.
trap 'pkill -KILL -P "${reader:-0}" 2> /dev/null; wait; rm -rf "$scratch"' EXIT

# The reader leaves after the last line before the wait.
(
    cd "$scratch" && env LD_PRELOAD="$shim" ORVENNA_SHIM_HOLD_CREATION=1 "$program" < /dev/null |
        sed -n '/Waiting for threads/q'
    echo "${PIPESTATUS[0]}" > "$scratch/status"
) &
reader=$!
# Bounded only for a program that does not notice: one that does ends at once.
for _ in $(seq 600); do
    [ -s "$scratch/status" ] && break
    sleep 0.1
done
check "the run noticed during its wait that the reader had gone, and ended" test -s "$scratch/status"
check "ended as a broken pipe ends a program (SIGPIPE)" test "$(cat "$scratch/status" 2> /dev/null)" = 141
[ -s "$scratch/status" ] || { report_checks; exit; }
wait "$reader"
check "what it made removed, the workspace with it" test -z "$(ls -A "$scratch" | grep -v '^status$')"
report_checks
