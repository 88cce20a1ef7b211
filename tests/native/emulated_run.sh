#!/usr/bin/env bash
# One complete run of a cross-built program under its emulator, among the
# user's files, compared byte for byte (measured seconds aside).
#   emulated_run.sh PROGRAM EMULATOR [EMULATOR_ARGUMENTS...]
set -u
program=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-emulated-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
tree="$scratch/tree" user="$scratch/tree/user"
make_user_files "$user" "$tree/outside"
before=$(snapshot "$tree")
(cd "$user" && printf 'x' | "$@" "$program" > "$scratch/run.out"; echo $? > "$scratch/run.rc")
check "emulated run exits 0" test "$(cat "$scratch/run.rc")" = 0
expected_complete_run "$(announced_workspace "$scratch/run.out")" > "$scratch/run.expected"
check "emulated run: seven cycles and the average" compare_transcript "$scratch/run.out" "$scratch/run.expected"
check "emulated run: the user's files untouched, nothing left behind" test "$(snapshot "$tree")" = "$before"
report_checks
