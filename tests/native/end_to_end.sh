#!/usr/bin/env bash
# The native program run as a user runs it: a complete run in a directory that
# already holds the user's files (nobody else reads the workspace: the run
# stays valid), the About screen, a run whose workspace another program lists,
# and a refused start.
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-e2e-XXXXXX")
socket="orvenna-native-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$scratch"' EXIT

# A complete run among the user's own files.
tree="$scratch/tree" user_dir="$scratch/tree/user" results="$scratch/results"
mkdir -p "$results"
make_user_files "$user_dir" "$tree/outside"
before=$(snapshot "$tree")
(cd "$user_dir" && printf 'x' | "$program" > "$results/complete.out"; echo $? > "$results/complete.rc")
check "complete run exits 0" test "$(cat "$results/complete.rc")" = 0
workspace=$(announced_workspace "$results/complete.out")
check "workspace announced under the start directory" test "${workspace%??????/}" = "$user_dir/"
expected_complete_run "$workspace" > "$results/complete.expected"
check "complete run transcript" compare_transcript "$results/complete.out" "$results/complete.expected"
check "user's files untouched and nothing left behind" test "$(snapshot "$tree")" = "$before"

# The About screen takes a second key.
(cd "$user_dir" && printf 'ax' | "$program" > "$results/about.out"; echo $? > "$results/about.rc")
check "about run exits 0" test "$(cat "$results/about.rc")" = 0
workspace=$(announced_workspace "$results/about.out")
{ expected_complete_run "$workspace"; about_block; printf '%s' "$ANY_KEY"; } > "$results/about.expected"
check "about run transcript" compare_transcript "$results/about.out" "$results/about.expected"

# Another program listing the workspace during cycle 2 invalidates the run after it.
mkdir -p "$scratch/listed"
(cd "$scratch/listed" && printf 'x' | "$program" > "$results/listed.out"; echo $? > "$results/listed.rc") &
for _ in $(seq 3000); do
    [ "$(grep -a -c 'Waiting for threads' "$results/listed.out" 2>/dev/null)" = 2 ] && break
    sleep 0.01
done
ls "$(announced_workspace "$results/listed.out")" > /dev/null
wait
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

# In a terminal one key press is enough, and it is not echoed.
tmux -L "$socket" new-session -d -x 120 -y 20 "cd '$long_dir' && '$program'; echo \$? > '$results/terminal.rc'; sleep 30"
for _ in $(seq 50); do
    tmux -L "$socket" capture-pane -p | grep -q "Press any key" && break
    sleep 0.1
done
tmux -L "$socket" send-keys q
for _ in $(seq 50); do [ -s "$results/terminal.rc" ] && break; sleep 0.1; done
check "terminal: one key without Enter ends the wait" test "$(cat "$results/terminal.rc" 2>/dev/null)" = 1
check "terminal: the key is not echoed" test -z "$(tmux -L "$socket" capture-pane -p | grep -x q)"

report_checks
