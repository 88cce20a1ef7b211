#!/usr/bin/env bash
# How long a stop takes: from a SIGTERM sent SECONDS into cycle 2 to the line
# that says it is being acted on, and to the end of the process, for each
# PROGRAM in turn (alternating), ROUNDS times, run from DIRECTORY (a disk, to
# see what a user sees).
#   bench/stop_latency.sh DIRECTORY ROUNDS SECONDS PROGRAM...
set -u
if [ $# -lt 4 ] || [ ! -d "$1" ]; then
    echo "usage: $0 DIRECTORY ROUNDS SECONDS PROGRAM..." >&2
    exit 1
fi
directory=$1 rounds=$2 seconds=$3
shift 3
out=$(mktemp)
trap 'rm -f "$out"' EXIT

now() { date +%s.%N; }
since() { awk -v start="$1" -v end="$2" 'BEGIN { printf "%.2f s", end - start }'; }

for round in $(seq "$rounds"); do
    for program in "$@"; do
        (cd "$directory" && exec "$program" < /dev/null > "$out" 2>&1) &
        pid=$!
        until grep -q 'Orvenna 2/7' "$out" 2> /dev/null; do sleep 0.01; done
        sleep "$seconds"
        sent=$(now)
        kill -s TERM "$pid"
        acknowledged="none"
        while kill -0 "$pid" 2> /dev/null; do
            if [ "$acknowledged" = none ] && grep -q 'stopping' "$out"; then acknowledged=$(since "$sent" "$(now)"); fi
            sleep 0.01
        done
        wait "$pid"
        printf 'round %s  %-30s acknowledged after %-8s ended after %s\n' "$round" "$program" "$acknowledged" \
            "$(since "$sent" "$(now)")"
    done
done
