#!/usr/bin/env bash
# The real orvenna.exe under Wine at full scale: every directory really made,
# as the fixture counts them (see wine_fixture.cpp), from short directories
# on a memory file system.
#   end_to_end.sh SESSION ORVENNA_EXE EXPLORER_WINDOW_EXE
set -u
session=$1 program=$2 helper=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/wine_run.sh"
trap 'kill "${helper_pid:-}" 2>/dev/null; tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$runs"' EXIT

# A directory NAME whose Windows path (Z: and the Unix path) is LENGTH characters.
windows_directory_of_length() {  # windows_directory_of_length NAME LENGTH
    local directory
    directory=$(directory_of_length "$runs/$1" $(($2 - 2)))
    mkdir -p "$directory"
    printf '%s' "$directory"
}

# Starts the stand-in Explorer window (MODE and its arguments, see
# explorer_window.cpp) watching DIRECTORY; its events go to NAME.log.
start_explorer_window() {  # start_explorer_window NAME DIRECTORY MODE [ARGS...]
    local name=$1 directory=$2 mode=$3
    shift 3
    local windows_directory windows_log
    windows_directory=$(with_fixture winepath -w "$directory" 2> "$runs/$name.err")
    windows_log=$(with_fixture winepath -w "$runs/$name.log" 2>> "$runs/$name.err")
    helper_arguments="$mode $windows_directory $windows_log $*"
    # A simple command, so that helper_pid is Wine's own process.
    LD_PRELOAD=$fixture_library wine "$helper" "$mode" "$windows_directory" "$windows_log" "$@" \
        > /dev/null 2>> "$runs/$name.err" &
    helper_pid=$!
    wait_for_window "$name" waiting
}

helper_has_ended() {
    ! running "$helper_pid"
}

# Until the stand-in window's log NAME.log shows TEXT; fails at once if the window ended without it.
wait_for_window() {  # wait_for_window NAME TEXT
    wait_for_text "$runs/$1.log" "$2" helper_has_ended
    case $? in
    0) return 0 ;;
    2)
        wait "$helper_pid"
        echo "the stand-in window for $1 ended before '$2' (exit code $?; started as: $helper_arguments;" \
            "its and winepath's errors: $(cat "$runs/$1.err"))" >&2
        ;;
    *) echo "timed out waiting for '$2' from the stand-in window for $1" >&2 ;;
    esac
    return 1
}

# Starts the program held at the opening of its folder (see wine_fixture.cpp)
# and lets it go once the stand-in window started for NAME shows: the start-up
# probe then finds the window however slowly either came up.
start_with_window() {  # start_with_window NAME DIRECTORY
    start_program "$1" "$2" ORVENNA_FIXTURE_HOLD=open ORVENNA_FIXTURE_RELEASE="$runs/$1.release"
    wait_for_count held 1
    wait_for_window "$1" shown
    touch "$runs/$1.release"
}

# Every cycle's 92,160 directories made and removed, and nothing else but the workspace.
check_every_directory() {  # check_every_directory NAME LETTERS
    local letter
    for letter in $2; do
        check "$1: ${letter}00001..${letter}92160 all created and removed" \
            test "$(count_of created "$letter")/$(count_of removed "$letter")" = 92160/92160
    done
    check "$1: nothing else created or removed but the workspace" \
        test "$(count_of other_created)/$(count_of other_removed)" = 1/1
}

# 1. A 253-character directory is refused before anything is created.
long=$(windows_directory_of_length long 253)
start_program long "$long"
wait_for_output long "Press any key"
press long x
check "253 characters: exit code 1" test "$(wait_for_exit long)" = 1
printf '\r\n[ERROR] GetCurrentDirectoryA\r\n%s' "$ANY_KEY" > "$runs/long.expected"
check "253 characters: the GetCurrentDirectoryA message" compare_transcript "$runs/long.out" "$runs/long.expected"
check "253 characters: nothing created" test -z "$(ls -A "$long")"

# 2. From 252 characters every directory path is over MAX_PATH: nothing can
# be created, and the run is invalidated after cycle 1.
limit=$(windows_directory_of_length limit 252)
start_program limit "$limit"
wait_for_output limit "Press [a] for About"
press limit x
check "252 characters: exit code 0" test "$(wait_for_exit limit)" = 0
{
    start_text "$(announced_workspace "$runs/limit.out")"
    cycle_text 1
    invalidated_by ".DIAG. 92160 of 92160 directories could not be created in this cycle (Win32 error code: 206).$CRLF"
    printf '%s' "$CLOSING_PROMPT"
} > "$runs/limit.expected"
check "252 characters: invalidated after cycle 1 with ERROR_FILENAME_EXCED_RANGE" \
    compare_transcript "$runs/limit.out" "$runs/limit.expected"
check "252 characters: workspace removed" test -z "$(ls -A "$limit")"

# 3. A complete run among the user's files, with an Explorer window for the
# workspace that the start-up probe minimizes and closes, then About.
tree=$(run_directory complete) && user="$tree/user"
make_user_files "$user" "$tree/outside"
before=$(snapshot "$tree")
start_explorer_window complete "$user" probe
start_with_window complete "$user"
wait_for_output complete "Press [a] for About"
ended=$(date +%s.%N)
press complete a
wait_for_output complete "Have Fun"
press complete x
check "complete run: exit code 0" test "$(wait_for_exit complete)" = 0
workspace=$(announced_workspace "$runs/complete.out")
{ expected_complete_run "$workspace"; about_block; printf '%s' "$ANY_KEY"; } > "$runs/complete.expected"
check "complete run: seven cycles, average, About" compare_transcript "$runs/complete.out" "$runs/complete.expected"
check "complete run: workspace announced in the start directory" test "$(dirname "$(workspace_of complete)")" = "$user"
check_every_directory "complete run" "a b c d e f g"
check "complete run: the user's files untouched, workspace gone" test "$(snapshot "$tree")" = "$before"
wait "$helper_pid"
check "complete run: the probe minimized the window and closed it" \
    test "$(tr -d '\r' < "$runs/complete.log" | tr '\n' ' ')" = "waiting shown minimized close requested closed "
durations=$(grep -a -o 'Benchmark [1-7] duration: [0-9]*' "$runs/complete.out" | tail -7 | awk '{print $4}')
average=$(grep -a -o 'Average: *[0-9]*' "$runs/complete.out" | awk '{print $2}')
sum=$(awk '{s += $1} END {print s}' <<< "$durations")
wall=$(awk '{printf "%d", $1 - $2}' <<< "$ended $(cat "$runs/complete.started")")
check "complete run: the durations add up to no more than the run's wall time ($sum s <= $wall s)" \
    test "$sum" -le "$wall"
check "complete run: the average lies within the durations ($average in $(tr '\n' ' ' <<< "$durations"))" \
    test "$average" -ge "$(sort -n <<< "$durations" | head -1)" -a "$average" -le "$(sort -n <<< "$durations" | tail -1)"

# Checks a run that an Explorer window invalidated after CYCLE.
check_invalidated_after() {  # check_invalidated_after NAME CYCLE
    local name=$1 cycle=$2 letters
    check "$name: exit code 0" test "$(wait_for_exit "$name")" = 0
    {
        start_text "$(announced_workspace "$runs/$name.out")"
        completed_cycles $((cycle - 1))
        cycle_text "$cycle"
        invalidated_by "$EXPLORER_REASON"
        printf '%s' "$CLOSING_PROMPT"
    } > "$runs/$name.expected"
    check "$name: invalidated after cycle $cycle, no average" compare_transcript "$runs/$name.out" "$runs/$name.expected"
    letters=$(printf '%s\n' a b c d e f g | head -"$cycle" | tr '\n' ' ')
    check_every_directory "$name" "$letters"
    check "$name: workspace removed" test -z "$(ls -A "$(dirname "$(workspace_of "$name")")")"
}

# 4. The probe's window will not close, and a second one opens at the next
# cycle-start minimize: the run is invalidated after that cycle (cycle 1, or
# cycle 2 when the window was still minimized from the probe at cycle 1's
# start). Which one the window tells, from the fixture's counts.
during=$(run_directory during)
start_explorer_window during "$during" during
start_with_window during "$during"
wait_for_output during "Press [a] for About"
press during x
check "during: the window opened after the probe had asked the first to close" \
    grep -q -z 'close requested.*opened during the run' "$runs/during.log"
check_invalidated_after during "$(grep -a -o 'opened during the run, at cycle [12]' "$runs/during.log" | tail -c 2)"
kill "$helper_pid" 2>/dev/null

# 5. A window showing the workspace opens while cycle 1's directories exist:
# the run is invalidated after cycle 1. The program is frozen from the moment
# a00001 is seen until the window is open, so it opens before the guard looks.
while_run=$(run_directory while)
start_explorer_window while "$while_run" while a00001
start_with_window while "$while_run"
wait_for_count created a 1
while_workspace=$(workspace_of while)
pid=$(program_pid)
while :; do
    freeze "$pid"
    [ -d "$while_workspace/a00001" ] && break
    kill -s CONT "$pid"
    [ "$(count_of removed a)" = 0 ] || { check "while: frozen before the removal pass" false; break; }
    pause_for 0.01
done
wait_for_window while "opened while the directory existed"
kill -s CONT "$pid"
wait_for_output while "Press [a] for About"
press while x
check_invalidated_after while 1
kill "$helper_pid" 2>/dev/null

# 6. A run killed in cycle 1 leaves its workspace; the next run in the same
# directory removes it and says so. Ctrl-C typed into that run's console
# during cycle 1: the workers stop at once, it says so, what they made is
# removed, and the program ends as one ended by Ctrl-C (STATUS_CONTROL_C_EXIT,
# 0xC000013A: 58 in a Unix status).
stopped=$(run_directory stopped)
start_program killed "$stopped"
wait_for_output killed "Creating 92160 directories"
wait_for_count created a 1
kill -s KILL "$(program_pid)"
check "killed: ended by SIGKILL" test "$(wait_for_exit killed)" = 137
leftover=$(workspace_of killed)
left=$(directories_in "$leftover")
check "killed: its workspace stays with $left directories" test "$left" -gt 0
# Held before it launches the last worker (see wine_fixture.cpp), the cycle
# cannot end; Ctrl-C is typed, and the hold ends once Wine's thread for the
# console event has run the program's handler.
start_program stopped "$stopped" ORVENNA_FIXTURE_HOLD=thread:1024 ORVENNA_FIXTURE_RELEASE="$runs/stopped.release"
wait_for_count held 1
press stopped C-c
wait_for_count ended_while_held 1
touch "$runs/stopped.release"
check "Ctrl-C: ended with STATUS_CONTROL_C_EXIT" test "$(wait_for_exit stopped)" = 58
{
    printf '.DIAG. Removed %s, left behind by an earlier run.\r\n' "$(basename "$leftover")"
    start_text "$(announced_workspace "$runs/stopped.out")"
    cycle_text 1 | sed -n '1,7p'
    printf '\r\n.DIAG. Orvenna stopping... Removing the directories created so far.\r\n'
    printf '\r\n.DIAG. Orvenna stopped. The workspace was removed.\r\n'
} > "$runs/stopped.expected"
check "Ctrl-C: the leftover's line first; said so at once, cleaned up" \
    compare_transcript "$runs/stopped.out" "$runs/stopped.expected"
made=$(count_of created a)
check "Ctrl-C: the last worker, started after the request, made nothing ($made of 92160 made)" test "$made" -le 92070
check "Ctrl-C: the leftover's and its own directories removed" test "$(count_of removed a)" = $((left + made))
check "Ctrl-C: the leftover and its own workspace made and removed, nothing else" \
    test "$(count_of other_created)/$(count_of other_removed)" = 1/2
check "Ctrl-C: the start directory empty" test -z "$(ls -A "$stopped")"

# 7. Output into a reader that goes away: the program cleans up and ends
# with ERROR_BROKEN_PIPE (109). Its errors go to a file: Wine's folder window,
# which outlives the run by minutes, must not hold this test's output open
# (the test would not end before it).
piped=$(run_directory piped)
(cd "$piped" && with_fixture wine "$program" < /dev/null 2> "$runs/piped.err" | head -n 3 > "$runs/piped.out"; echo "${PIPESTATUS[0]}" > "$runs/piped.rc")
check "head -n 3: ended with ERROR_BROKEN_PIPE" test "$(cat "$runs/piped.rc")" = 109
check "head -n 3: the start directory empty" test -z "$(ls -A "$piped")"

# 8. Ctrl-C at a key wait ends the program at once.
start_program prompt "$long"
wait_for_output prompt "Press any key"
press prompt C-c
check "Ctrl-C at a key wait: ended with STATUS_CONTROL_C_EXIT" test "$(wait_for_exit prompt)" = 58

report_checks
