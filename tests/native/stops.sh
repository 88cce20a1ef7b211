#!/usr/bin/env bash
# The native program stopped by real signals and by a reader that goes away,
# as a user stops it: each stop says so at once, leaves the start directory
# exactly as it was and ends the process by that signal. Short runs: this
# script runs in the sanitizer trees too (end_to_end.sh has the stops at the
# closing prompt).
#
# No case depends on timing: a run is frozen (SIGSTOP) at a known line, the
# request is sent while it is frozen, and it is let go. Only the main thread
# takes stop signals, and it takes a pending one before it runs on, so what it
# prints next follows from the line it was frozen after.
set -u -m  # job control: background runs get signals as a terminal's programs do
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/../lib/runs.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-stops-XXXXXX")
mkfifo "$scratch/keys"
exec 7<> "$scratch/keys"  # held open: a key wait blocks until the test writes a key
trap 'exec 7>&-; rm -rf "$scratch"' EXIT

STOPPING="$CRLF.DIAG. Orvenna stopping... Removing the directories created so far.$CRLF"
STOPPED="$CRLF.DIAG. Orvenna stopped. The workspace was removed.$CRLF"

# Starts the program in a fresh start directory NAME among the user's files.
start_run() {  # start_run NAME
    local tree="$scratch/$1"
    make_user_files "$tree/user" "$tree/outside"
    snapshot "$tree" > "$scratch/$1.before"
    # No subshell: one killed before its exec would run this script's exit trap.
    pushd "$tree/user" > /dev/null
    "$program" < "$scratch/keys" > "$scratch/$1.out" 2> "$scratch/$1.err" &
    pid=$!
    popd > /dev/null
    until [ "/proc/$pid/exe" -ef "$program" ]; do pause_for 0.001; done
}

# Sends SIGNALS to run NAME while it is frozen right after the line LINE,
# then checks how it ended: STATUS (an extended pattern), and the output up
# to that line, then CONTINUATION.
stop_after_line() {  # stop_after_line NAME LINE STATUS CONTINUATION SIGNAL...
    local name=$1 line=$2 status=$3 continuation=$4
    start_run "$name"
    check "$name: frozen right after '$line'" freeze_after_line "$pid" "$scratch/$name.out" "$line"
    local printed
    printed=$(cat "$scratch/$name.out"; printf x)
    for signal in "${@:5}"; do kill -s "$signal" "$pid"; done
    kill -s CONT "$pid"
    exit_status_of "$pid"
    local ended=$?
    check "$name: ended by its request's signal ($status: $ended)" grep -q -x -E "$status" <<< "$ended"
    printf '%s%s' "${printed%x}" "$continuation" > "$scratch/$name.expected"
    check "$name: said so at once, removed what it made" \
        compare_transcript "$scratch/$name.out" "$scratch/$name.expected"
}

start_directory_unchanged() {  # start_directory_unchanged NAME
    check "$1: the start directory exactly as it was" \
        test "$(snapshot "$scratch/$1")" = "$(cat "$scratch/$1.before")"
}

# Frozen while the main thread launches the workers and the first ones create:
# the rest stop at once, and the main thread waits for them and says so.
CREATING=".DIAG. Creating 92160 directories with 1024 threads."
for request in INT:130 TERM:143 HUP:129; do
    stop_after_line "creation-${request%:*}" "$CREATING" "${request#*:}" \
        ".DIAG. Waiting for threads....$CRLF$STOPPING$STOPPED" "${request%:*}"
    start_directory_unchanged "creation-${request%:*}"
done

# Frozen in the removal pass: it says so before the pass ends.
stop_after_line removal ".DIAG. Deleting this cycle directories...." 130 "$STOPPING$STOPPED" INT
start_directory_unchanged removal

# A second request while the first is being acted on ends the program at once,
# by the second signal, with nothing more said. Both are pending when it runs
# on; which handler runs first is the platform's: the kernel runs SIGTERM's,
# ThreadSanitizer, which defers them, SIGINT's.
stop_after_line twice "$CREATING" "130|143" "" TERM INT
check "second request: the workspace stays, as the user asked" test -d "$(announced_workspace "$scratch/twice.out")"

# During start-up, once the handler is set up (the process catches SIGINT):
# it stops cleanly wherever start-up is, and nothing stays.
catches_sigint() {  # catches_sigint PID: SigCgt has SIGINT's bit (2)
    local field value
    while read -r field value; do
        [ "$field" = SigCgt: ] && (((0x$value >> 1) & 1)) && return 0
    done 2> /dev/null < "/proc/$1/status"
    return 1
}
start_run startup
until catches_sigint "$pid" || ! running "$pid"; do pause_for 0.001; done
kill -s INT "$pid"
wait "$pid"
check "start-up: ended by SIGINT" test $? = 130
check "start-up: stopped cleanly, and said so" \
    grep -q -x -E '\.DIAG\. Orvenna stopped\.( The workspace was removed\.)?'$'\r' "$scratch/startup.out"
start_directory_unchanged startup

# A reader that goes away: the next line cannot be printed, and the run
# cleans up and ends as a broken pipe ends a program.
mkdir -p "$scratch/head"
make_user_files "$scratch/head/user" "$scratch/head/outside"
snapshot "$scratch/head" > "$scratch/head.before"
(cd "$scratch/head/user" && "$program" < "$scratch/keys" | head -n 3 > "$scratch/head.out"; echo "${PIPESTATUS[0]}" > "$scratch/head.rc")
check "head -n 3: the program ended by SIGPIPE (141)" test "$(cat "$scratch/head.rc")" = 141
check "head -n 3: it saw the workspace line and the banner's start" \
    test "$(sed -n '2,3p' "$scratch/head.out" | tr -d '\r')" = $'\n'"${RULE%$CRLF}"
start_directory_unchanged head

report_checks
