#!/usr/bin/env bash
# A run that was killed leaves its workspace; the next run in the same start
# directory removes it, says so, and touches nothing else: not the user's
# look-alikes, and not the workspace of a run that is still going or is
# suspended (not even by opening it: its guard would invalidate it).
set -u
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/../lib/runs.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-leftovers-XXXXXX")
mkfifo "$scratch/keys"
exec 7<> "$scratch/keys"  # held open: a key wait blocks until the test writes a key
trap 'exec 7>&-; kill -s KILL $(jobs -p) 2> /dev/null; rm -rf "$scratch"' EXIT
start="$scratch/start"

# The user's files, and directories that look like a workspace but are not a
# run's leftover: one holding a file, an empty one, one holding an empty
# cycle-named directory beside a file (and abcde1 holding a file).
make_user_files "$start" "$scratch/outside"
mkdir -p "$start/qwert1" "$start/photo1" "$start/abcde2/a00001"
echo mine > "$start/qwert1/file"
echo mine > "$start/abcde2/file"
snapshot "$start" > "$scratch/start.before"

# Starts a run in the start directory whose keys come from KEYS; output in NAME.out.
start_run() {  # start_run NAME KEYS
    (cd "$start" && exec "$program" < "$2" > "$scratch/$1.out" 2> "$scratch/$1.err") &
    pid=$!
}

# Killed in the middle of cycle 2: its workspace stays, full of cycle directories.
start_run killed "$scratch/keys"
check "killed: frozen in cycle 2 with directories made" freeze_with_directories "$pid" "$scratch/killed.out" 2
leftover=$(announced_workspace "$scratch/killed.out")
kill -s KILL "$pid"
wait "$pid"
left=$(directories_in "$leftover")
check "killed: its workspace stays with $left directories" test "$left" -gt 0

# The next run removes it, says so first, and runs as usual.
start_run next <(printf x)
wait "$pid"
check "next run: completes" test $? = 0
{
    printf '.DIAG. Removed %s, left behind by an earlier run.\r\n' "$(basename "$leftover")"
    expected_complete_run "$(announced_workspace "$scratch/next.out")"
} > "$scratch/next.expected"
check "next run: one line for the leftover, before the workspace line" \
    compare_transcript "$scratch/next.out" "$scratch/next.expected"
check "next run: the leftover is gone" test ! -e "$leftover"
check "next run: the user's files and look-alikes exactly as they were" \
    test "$(snapshot "$start")" = "$(cat "$scratch/start.before")"

# A run suspended in cycle 2 (Ctrl-Z): a new run passes its workspace over.
start_run suspended <(printf x)
suspended=$pid
check "suspended: frozen in cycle 2 with directories made" freeze_with_directories "$suspended" "$scratch/suspended.out" 2
held=$(announced_workspace "$scratch/suspended.out")
held_count=$(directories_in "$held")
start_run beside-suspended <(printf x)
wait "$pid"
check "beside a suspended run: completes without removing anything" test $? = 0
expected_complete_run "$(announced_workspace "$scratch/beside-suspended.out")" > "$scratch/beside-suspended.expected"
check "beside a suspended run: its transcript as usual" \
    compare_transcript "$scratch/beside-suspended.out" "$scratch/beside-suspended.expected"
check "beside a suspended run: the suspended workspace untouched" test "$(directories_in "$held")" = "$held_count"

# Let go, it runs on while another run starts beside it; neither opens the
# other's workspace, so both complete with a valid average.
kill -s CONT "$suspended"
start_run beside-going <(printf x)
beside=$pid
wait "$beside"
check "beside a running run: completes" test $? = 0
wait "$suspended"
check "the suspended run: completes" test $? = 0
for name in beside-going suspended; do
    expected_complete_run "$(announced_workspace "$scratch/$name.out")" > "$scratch/$name.expected"
    check "$name: a valid average, no leftover removed" compare_transcript "$scratch/$name.out" "$scratch/$name.expected"
done
check "at the end: the start directory exactly as it was" \
    test "$(snapshot "$start")" = "$(cat "$scratch/start.before")"

report_checks
