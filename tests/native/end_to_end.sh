#!/usr/bin/env bash
# The native program run as a user runs it: a complete run in a directory that
# already holds the user's files (nobody else reads the workspace: the run
# stays valid), its lines reaching a pipe as they are printed, the About
# screen, a run whose workspace another program lists, a refused start, key
# waits in a terminal and stops at them.
set -u -m  # job control: background runs get signals as a terminal's programs do
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/../lib/runs.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-e2e-XXXXXX")
socket="orvenna-native-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$scratch"' EXIT

# A complete run among the user's own files, then the About screen, which
# takes a second key. Its output goes into a pipe, copied to a file as it
# comes: frozen right after a cycle's first line of work has reached the
# reader, the run shows that its lines arrive as they are printed.
tree="$scratch/tree" user_dir="$scratch/tree/user" results="$scratch/results"
mkdir -p "$results"
make_user_files "$user_dir" "$tree/outside"
before=$(snapshot "$tree")
mkfifo "$scratch/pipe"
cat "$scratch/pipe" > "$results/complete.out" &
copier=$!
pushd "$user_dir" > /dev/null
"$program" < <(printf ax) > "$scratch/pipe" &
pid=$!
popd > /dev/null
check "pipe: the lines arrive while the run goes on" \
    freeze_after_line "$pid" "$results/complete.out" ".DIAG. Creating 92160 directories with 1024 threads."
kill -s CONT "$pid"
exit_status_of "$pid"
check "complete run exits 0" test $? = 0
wait "$copier"
workspace=$(announced_workspace "$results/complete.out")
check "workspace announced under the start directory" test "${workspace%??????/}" = "$user_dir/"
{ expected_complete_run "$workspace"; about_block; printf '%s' "$ANY_KEY"; } > "$results/complete.expected"
check "complete run and About: transcript" compare_transcript "$results/complete.out" "$results/complete.expected"
check "user's files untouched and nothing left behind" test "$(snapshot "$tree")" = "$before"

# Another program listing the workspace during cycle 2 invalidates the run
# after it: the run is frozen in cycle 2 while the workspace is listed.
start_run() {  # start_run NAME KEYS: in $scratch/NAME, output to NAME.out; sets pid
    mkdir -p "$scratch/$1"
    pushd "$scratch/$1" > /dev/null
    "$program" < "$2" > "$results/$1.out" &
    pid=$!
    popd > /dev/null
}
start_run listed <(printf x)
wait_for_lines "$results/listed.out" "Orvenna 2/7" 1
freeze_after_line "$pid" "$results/listed.out" ".DIAG. Creating 92160 directories with 1024 threads."
ls "$(announced_workspace "$results/listed.out")" > /dev/null
kill -s CONT "$pid"
exit_status_of "$pid"
echo $? > "$results/listed.rc"
check "listed run exits 0" test "$(cat "$results/listed.rc")" = 0
{
    start_text "$(announced_workspace "$results/listed.out")"
    completed_cycles 1
    cycle_text 2
    invalidated_by ".DIAG. The random workspace was opened by another program during the benchmark.$CRLF"
    printf '%s' "$CLOSING_PROMPT"
} > "$results/listed.expected"
check "listed run: invalidated after cycle 2, no average" compare_transcript "$results/listed.out" "$results/listed.expected"
check "listed run: workspace removed" test -z "$(ls -A "$scratch/listed")"

# Started from a 253-character directory: refused before anything is created.
long_dir=$(directory_of_length "$scratch/long" 253)
mkdir -p "$long_dir"
(cd "$long_dir" && printf 'x' | "$program" > "$results/long.out"; echo $? > "$results/long.rc")
check "253-character directory exits 1" test "$(cat "$results/long.rc")" = 1
printf '\r\n[ERROR] GetCurrentDirectoryA\r\n%s' "$ANY_KEY" > "$results/long.expected"
check "253-character directory message" compare_transcript "$results/long.out" "$results/long.expected"
check "nothing created in the 253-character directory" test -z "$(ls -A "$long_dir")"

# With no input at all the key wait ends at once.
(cd "$long_dir" && "$program" < /dev/null > /dev/null; echo $? > "$results/no-input.rc")
check "no input: the key wait ends with the input" test "$(cat "$results/no-input.rc")" = 1

# The program's key wait has begun once its terminal neither echoes nor
# waits for a line: a key typed before that would be echoed by the terminal.
wait_for_key_wait() {
    local tty
    tty=$(tmux -L "$socket" display-message -p '#{pane_tty}')
    for _ in $(seq 30000); do
        stty -F "$tty" -a | grep -q -w -e -icanon && return 0
        pause_for 0.01
    done
    echo "timed out waiting for the key wait in $tty" >&2
    return 1
}

# In a terminal one key press is enough, and it is not echoed.
tmux -L "$socket" new-session -d -x 120 -y 20 "cd '$long_dir' && '$program'; echo \$? > '$results/terminal.rc'; sleep 30"
wait_for_key_wait
tmux -L "$socket" send-keys q
for _ in $(seq 30000); do [ -s "$results/terminal.rc" ] && break; pause_for 0.01; done
check "terminal: one key without Enter ends the wait" test "$(cat "$results/terminal.rc" 2>/dev/null)" = 1
check "terminal: the key is not echoed" test -z "$(tmux -L "$socket" capture-pane -p | grep -x q)"

mkfifo "$scratch/keys"
exec 7<> "$scratch/keys"  # held open: a key wait blocks until the test writes a key

# At the closing prompt a stop simply ends the program.
stop_at_prompt() {
    start_run prompt "$scratch/keys"
    wait_for_lines "$results/prompt.out" "Press [a] for About" 1
    kill -s INT "$pid"
    exit_status_of "$pid"
    check "closing prompt: ended by SIGINT" test $? = 130
    expected_complete_run "$(announced_workspace "$results/prompt.out")" > "$results/prompt.expected"
    check "closing prompt: nothing printed after the prompt" \
        compare_transcript "$results/prompt.out" "$results/prompt.expected"
    check "closing prompt: nothing left behind" test -z "$(ls -A "$scratch/prompt")"
}

# Ctrl-C typed in a terminal at the key wait: the terminal is restored. The
# shell traps SIGINT (not ignores: the program must get it) to record the outcome.
stop_in_terminal() {
    mkdir -p "$scratch/terminal"
    tmux -L "$socket" new-session -d -x 120 -y 20 "bash -c 'trap : INT; cd $scratch/terminal && stty -g > ../terminal.before && $program > ../terminal.out; echo \$? > ../terminal.rc; stty -g > ../terminal.after; sleep 30'"
    wait_for_lines "$scratch/terminal.out" "Press [a] for About" 1
    tmux -L "$socket" send-keys C-c
    for _ in $(seq 3000); do [ -s "$scratch/terminal.after" ] && break; pause_for 0.01; done
    check "terminal: Ctrl-C at the prompt ends the program by SIGINT" test "$(cat "$scratch/terminal.rc")" = 130
    check "terminal: its settings restored" cmp -s "$scratch/terminal.before" "$scratch/terminal.after"
    check "terminal: nothing left behind" test -z "$(ls -A "$scratch/terminal")"
}

stop_at_prompt
stop_in_terminal

report_checks
