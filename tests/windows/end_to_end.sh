#!/usr/bin/env bash
# The real orvenna.exe under Wine, in a terminal (tmux) so that _getch reads
# real keys, with its console bytes redirected to a file.
#   end_to_end.sh SESSION ORVENNA_EXE EXPLORER_WINDOW_EXE
set -u
session=$1 program=$2 helper=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$session/env"

scratch=$(mktemp -d "${ORVENNA_SCRATCH:-/dev/shm}/orvenna-wine-e2e-XXXXXX")
socket="orvenna-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$scratch"' EXIT

# A Unix directory whose Windows path (Z: and the Unix path) is LENGTH characters.
windows_directory_of_length() {  # windows_directory_of_length NAME LENGTH
    local directory
    directory=$(directory_of_length "$scratch/$1" $(($2 - 2)))
    mkdir -p "$directory"
    printf '%s' "$directory"
}

wait_for_text() {  # wait_for_text FILE TEXT SECONDS
    local deadline=$((SECONDS + $3))
    while [ $SECONDS -lt $deadline ]; do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    echo "timed out waiting for '$2' in $1" >&2
    return 1
}

# Starts the program in DIRECTORY; its bytes go to NAME.out, its exit code to NAME.rc.
start_program() {  # start_program NAME DIRECTORY
    tmux -L "$socket" new-session -d -s "$1" -x 200 -y 50 \
        "cd '$2' && DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX WINEDEBUG=-all wine '$program' > '$scratch/$1.out'; echo \$? > '$scratch/$1.rc'"
}

press() {  # press NAME KEY
    tmux -L "$socket" send-keys -t "$1" "$2"
}

wait_for_exit() {  # wait_for_exit NAME: prints the exit code
    for _ in $(seq 300); do
        [ -s "$scratch/$1.rc" ] && { cat "$scratch/$1.rc"; return; }
        sleep 0.2
    done
    echo "none"
}

workspace_of() {  # the Unix path of the workspace that NAME's run announced
    winepath -u "$(announced_workspace "$scratch/$1.out")" 2>/dev/null
}

# 1. A 253-character directory is refused before anything is created.
long=$(windows_directory_of_length long 253)
start_program long "$long"
wait_for_text "$scratch/long.out" "Press any key" 60
press long x
check "253 characters: exit code 1" test "$(wait_for_exit long)" = 1
printf '\r\n[ERROR] GetCurrentDirectoryA\r\n%s' "$ANY_KEY" > "$scratch/long.expected"
check "253 characters: the GetCurrentDirectoryA message" compare_transcript "$scratch/long.out" "$scratch/long.expected"
check "253 characters: nothing created" test -z "$(ls -A "$long")"

# 2. A complete run from 252 characters, then the About screen.
complete=$(windows_directory_of_length complete 252)
start_program complete "$complete"
wait_for_text "$scratch/complete.out" "Press [a] for About" 300
press complete a
wait_for_text "$scratch/complete.out" "Have Fun" 30
press complete x
check "complete run: exit code 0" test "$(wait_for_exit complete)" = 0
{ expected_complete_run "$(announced_workspace "$scratch/complete.out")"; about_block; printf '%s' "$ANY_KEY"; } \
    > "$scratch/complete.expected"
check "complete run: seven cycles, average, About" compare_transcript "$scratch/complete.out" "$scratch/complete.expected"
check "complete run: workspace announced in the start directory" \
    test "$(dirname "$(workspace_of complete)")" = "$complete"
check "complete run: workspace removed" test -z "$(ls -A "$complete")"

# Runs the program from a new 252-character directory NAME, with the stand-in
# Explorer window watching that directory (MODE and its arguments, see
# explorer_window.cpp), up to the closing prompt and one key.
run_with_explorer_window() {  # run_with_explorer_window NAME MODE [ARGS...]
    local name=$1 mode=$2 directory
    shift 2
    directory=$(windows_directory_of_length "$name" 252)
    wine "$helper" "$mode" "$(winepath -w "$directory")" "$(winepath -w "$scratch/$name.log")" "$@" &
    helper_pid=$!
    wait_for_text "$scratch/$name.log" waiting 60
    start_program "$name" "$directory"
    wait_for_text "$scratch/$name.out" "Press [a] for About" 300
    press "$name" x
}

# 3. An Explorer window for the workspace at start-up is minimized and closed by the probe.
run_with_explorer_window probed probe
check "probed run: exit code 0" test "$(wait_for_exit probed)" = 0
expected_complete_run "$(announced_workspace "$scratch/probed.out")" > "$scratch/probed.expected"
check "probed run: not invalidated" compare_transcript "$scratch/probed.out" "$scratch/probed.expected"
wait "$helper_pid"
check "probed run: the window was minimized, asked to close and closed" \
    test "$(tr -d '\r' < "$scratch/probed.log" | tr '\n' ' ')" = "waiting shown minimized close requested closed "

# 4. An Explorer window opened during the cycles invalidates the run after the cycle.
run_with_explorer_window opened during
check "invalidated run: exit code 0" test "$(wait_for_exit opened)" = 0
cycle=$(grep -c 'Orvenna [1-7]/7' "$scratch/opened.out")
{
    start_text "$(announced_workspace "$scratch/opened.out")"
    completed_cycles $((cycle - 1))
    cycle_text "$cycle"
    invalidated_by "$EXPLORER_REASON"
    printf '%s' "$CLOSING_PROMPT"
} > "$scratch/opened.expected"
check "invalidated run: invalidated after cycle $cycle, no average" \
    compare_transcript "$scratch/opened.out" "$scratch/opened.expected"
check "invalidated run: the window opened after the probe had closed the first" \
    grep -q -z 'close requested.*opened during the run' "$scratch/opened.log"
check "invalidated run: workspace removed" test -z "$(ls -A "$(dirname "$(workspace_of opened)")")"
kill "$helper_pid" 2>/dev/null

report_checks
