#!/usr/bin/env bash
# The native program stopped by real signals at several moments, as a user
# stops it with Ctrl-C: each stop leaves the start directory exactly as it
# was and ends the process by that signal. Also: its lines reach a pipe as
# they are printed.
set -u -m  # job control: background runs get signals as a terminal's programs do
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-stops-XXXXXX")
socket="orvenna-stops-$$"
mkfifo "$scratch/keys"
exec 7<> "$scratch/keys"  # held open: a key wait blocks until the test writes a key
trap 'exec 7>&-; tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$scratch"' EXIT

STOPPED="$CRLF.DIAG. Orvenna stopped. The workspace was removed.$CRLF"

wait_for_lines() {  # wait_for_lines FILE TEXT COUNT: until TEXT shows on COUNT lines
    for _ in $(seq 3000); do
        [ "$(grep -a -c -F -- "$2" "$1" 2>/dev/null || true)" -ge "$3" ] 2>/dev/null && return 0
        sleep 0.01
    done
    echo "timed out waiting for '$2' in $1" >&2
    return 1
}

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
    until [ "$(readlink "/proc/$pid/exe")" = "$program" ]; do sleep 0.001; done
}

# What a run stopped at a safe point prints: the cycles it completed, the
# cycle it was in up to its removal pass, then the stop line.
expected_stop() {  # expected_stop OUTPUT_FILE
    local completed started
    completed=$(grep -a -c 'Preparing next benchmark' "$1")
    started=$(grep -a -c -E 'Orvenna [1-7]/7' "$1")
    start_text "$(announced_workspace "$1")"
    completed_cycles "$completed"
    [ "$started" -gt "$completed" ] && cycle_text "$started" | sed -n '1,10p'
    printf '%s' "$STOPPED"
}

# Ends run NAME by SIGNAL once TEXT has shown COUNT times, then checks it.
stop_and_check() {  # stop_and_check NAME SIGNAL STATUS TEXT COUNT
    local name=$1 signal=$2 status=$3
    start_run "$name"
    wait_for_lines "$scratch/$name.out" "$4" "$5"
    kill -s "$signal" "$pid"
    wait "$pid"
    check "$name: ended by SIG$signal ($status)" test $? = "$status"
    expected_stop "$scratch/$name.out" > "$scratch/$name.expected"
    check "$name: cleaned up at a safe point, no key wait" \
        compare_transcript "$scratch/$name.out" "$scratch/$name.expected"
    check "$name: the start directory exactly as it was" \
        test "$(snapshot "$scratch/$name")" = "$(cat "$scratch/$name.before")"
}

stop_and_check creation-int INT 130 "Creating 92160 directories" 1
stop_and_check creation-term TERM 143 "Creating 92160 directories" 1
stop_and_check creation-hup HUP 129 "Creating 92160 directories" 1
stop_and_check removal INT 130 "Deleting this cycle directories" 2
stop_and_check between-cycles INT 130 "Preparing next benchmark" 3

# During start-up (here it takes no time: the request may even come before
# the handler is set up): nothing stays.
start_run startup
kill -s INT "$pid"
wait "$pid"
check "start-up: ended by SIGINT" test $? = 130
check "start-up: the start directory exactly as it was" \
    test "$(snapshot "$scratch/startup")" = "$(cat "$scratch/startup.before")"

# A second request while the first is being acted on ends the program at once.
start_run twice
wait_for_lines "$scratch/twice.out" "Creating 92160 directories" 1
kill -s INT "$pid" && sleep 0.02 && kill -s INT "$pid"  # apart: pending signals merge
wait "$pid"
status=$?
check "second request: ended by SIGINT at once ($status)" test "$status" = 130 ||
    cat "$scratch/twice.err"
check "second request: no clean-up line" test -z "$(grep -a 'Orvenna stopped' "$scratch/twice.out")"
check "second request: the workspace stays, as the user asked" test -d "$(announced_workspace "$scratch/twice.out")"

# At the closing prompt the program simply ends.
stop_at_prompt() {
    start_run prompt
    wait_for_lines "$scratch/prompt.out" "Press [a] for About" 1
    kill -s INT "$pid"
    wait "$pid"
    check "closing prompt: ended by SIGINT" test $? = 130
    expected_complete_run "$(announced_workspace "$scratch/prompt.out")" > "$scratch/prompt.expected"
    check "closing prompt: nothing printed after the prompt" \
        compare_transcript "$scratch/prompt.out" "$scratch/prompt.expected"
    check "closing prompt: the start directory exactly as it was" \
        test "$(snapshot "$scratch/prompt")" = "$(cat "$scratch/prompt.before")"
}

# Ctrl-C typed in a terminal at the key wait: the terminal is restored. The
# shell traps SIGINT (not ignores: the program must get it) to record the outcome.
stop_in_terminal() {
    mkdir -p "$scratch/terminal"
    tmux -L "$socket" new-session -d -x 120 -y 20 "bash -c 'trap : INT; cd $scratch/terminal && stty -g > ../terminal.before && $program > ../terminal.out; echo \$? > ../terminal.rc; stty -g > ../terminal.after; sleep 30'"
    wait_for_lines "$scratch/terminal.out" "Press [a] for About" 1
    tmux -L "$socket" send-keys C-c
    for _ in $(seq 100); do [ -s "$scratch/terminal.after" ] && break; sleep 0.05; done
    check "terminal: Ctrl-C at the prompt ends the program by SIGINT" test "$(cat "$scratch/terminal.rc")" = 130
    check "terminal: its settings restored" cmp -s "$scratch/terminal.before" "$scratch/terminal.after"
    check "terminal: nothing left behind" test -z "$(ls -A "$scratch/terminal")"
}

# ThreadSanitizer defers a signal that arrives during a blocking read (its own
# thread may take it) until the next intercepted call, so under it a key wait
# never sees the request; these two run in the other trees.
if [ -z "${TSAN_OPTIONS:-}" ]; then
    stop_at_prompt
    stop_in_terminal
else
    echo "skipped under ThreadSanitizer: stops at a key wait"
fi

# Into a pipe, every line arrives as it is printed.
mkfifo "$scratch/pipe"
mkdir -p "$scratch/piped"
(cd "$scratch/piped" && printf x | "$program" > "$scratch/pipe"; echo $? > "$scratch/piped.rc") &
exec 8< "$scratch/pipe"
seen=""
while IFS= read -r line <&8; do
    seen+="$line"$'\n'
    [[ $line == *"Result saved."* ]] && break
done
check "pipe: banner and cycle 1 arrive while the run goes on" \
    test -n "$(grep -F "Orvenna V$VERSION" <<< "$seen")" -a ! -e "$scratch/piped.rc"
cat <&8 > /dev/null
exec 8<&-
wait
check "pipe: the run then completes" test "$(cat "$scratch/piped.rc")" = 0

report_checks
