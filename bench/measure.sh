#!/usr/bin/env bash
# Every speed and memory figure of the README in one go:
#   bench/measure.sh BUILD_DIRECTORY [DISK_DIRECTORY [ROUNDS]]
# the product's cycle against the minimal loop on a memory file system
# (/dev/shm) and on the disk, then the peak resident memory of a whole native
# run against that of one minimal cycle.
set -eu
[ $# -ge 1 ] || { echo "usage: bench/measure.sh BUILD_DIRECTORY [DISK_DIRECTORY [ROUNDS]]" >&2; exit 2; }
build=$(realpath "$1")
disk=${2:-$PWD}
rounds=${3:-5}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || { echo "$build is not a configured build tree (run make run or make test first)" >&2; exit 1; }
cmake --build "$build" --target orvenna cycle_bench > /dev/null ||
    { echo "could not build orvenna and cycle_bench in $build" >&2; exit 1; }

memory_scratch=$(mktemp -d /dev/shm/orvenna-measure-XXXXXX)
disk_scratch=$(mktemp -d "$disk/orvenna-measure-XXXXXX")
trap 'rm -rf "$memory_scratch" "$disk_scratch"' EXIT

echo "== cycle on the memory file system (/dev/shm), $rounds rounds"
"$build/bench/cycle_bench" "$memory_scratch" "$rounds" | tail -3
echo "== cycle on the disk ($disk), $rounds rounds"
"$build/bench/cycle_bench" "$disk_scratch" "$rounds" | tail -3

peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -1; }
echo "== peak resident memory (KB), on the memory file system"
echo "whole run     $(cd "$memory_scratch" && printf x | peak_kb "$build/orvenna")"
echo "minimal cycle $(peak_kb "$build/bench/cycle_bench" --minimal "$memory_scratch")"
