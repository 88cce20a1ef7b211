# Running the real orvenna.exe in a Wine session of wine_session.sh: in a
# terminal (tmux) so that _getch reads real keys, its console bytes redirected
# to NAME.out and its exit code to NAME.rc, and the fixture's record of the
# directories it really made. Sourced by bash scripts after SESSION is set.

source "$session/env"
source "$(dirname "${BASH_SOURCE[0]}")/../lib/runs.sh"
# Wine's processes get the fixture; this script's own tools see the disk as it is.
fixture_library=$LD_PRELOAD
unset LD_PRELOAD
runs=$(mktemp -d "$ORVENNA_FIXTURE_ROOT/runs-XXXXXX")
socket="orvenna-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$runs"' EXIT

with_fixture() {  # with_fixture COMMAND...: a Wine command, the fixture preloaded
    LD_PRELOAD=$fixture_library "$@"
}

# A new directory NAME under the session's root, for a run to start from.
run_directory() {  # run_directory NAME
    mkdir -p "$runs/$1" && printf '%s' "$runs/$1"
}

# How long a run may take to reach a line or its end: its work goes at the
# pace of a loaded machine, so only a run that has plainly hung reaches it.
RUN_SECONDS=900

# Until FILE shows TEXT. The command ENDED... says whether its writer has
# ended; once it has, the file is read one last time. Returns 0 when the text
# is there, 2 when the writer ended without it, 1 when the time ran out.
wait_for_text() {  # wait_for_text FILE TEXT ENDED...
    local file=$1 text=$2 deadline=$((SECONDS + RUN_SECONDS))
    shift 2
    while [ $SECONDS -lt $deadline ]; do
        count_lines "$file" "$text"
        [ "$line_count" -gt 0 ] && return 0
        if "$@"; then
            count_lines "$file" "$text"
            [ "$line_count" -gt 0 ] && return 0
            return 2
        fi
        pause_for 0.2
    done
    return 1
}

# Until run NAME has printed TEXT; fails at once if it ended without it.
wait_for_output() {  # wait_for_output NAME TEXT
    wait_for_text "$runs/$1.out" "$2" test -s "$runs/$1.rc"
    case $? in
    0) return 0 ;;
    2) echo "$1 ended with exit code $(cat "$runs/$1.rc") before printing '$2'" >&2 ;;
    *) echo "timed out waiting for '$2' from $1" >&2 ;;
    esac
    return 1
}

# The fixture's counts start from zero for the next run.
reset_counts() {
    head -c 4096 /dev/zero | dd of="$ORVENNA_FIXTURE_COUNTS" conv=notrunc status=none
}

# Where one of the fixture's counts is (see FixtureCounts in wine_fixture.cpp), into count_index.
find_count() {  # find_count created|removed|first_created_ns|last_removed_ns LETTER | other_created | other_removed | threads | held | ended_while_held
    case "$1" in
    created) count_index=$(($(printf '%d' "'$2") - 97)) ;;
    removed) count_index=$((7 + $(printf '%d' "'$2") - 97)) ;;
    first_created_ns) count_index=$((19 + $(printf '%d' "'$2") - 97)) ;;
    last_removed_ns) count_index=$((26 + $(printf '%d' "'$2") - 97)) ;;
    other_created) count_index=14 ;;
    other_removed) count_index=15 ;;
    threads) count_index=16 ;;
    held) count_index=17 ;;
    ended_while_held) count_index=18 ;;
    esac
}

count_of() {  # count_of COUNT...: prints it (see find_count)
    find_count "$@"
    od -An -v -t u8 -j $((count_index * 8)) -N 8 "$ORVENNA_FIXTURE_COUNTS" | tr -d ' '
}

# Starts the program in DIRECTORY with the counts reset; extra VARIABLE=VALUE
# words go into its environment.
start_program() {  # start_program NAME DIRECTORY [VARIABLE=VALUE...]
    local name=$1 directory=$2
    shift 2
    reset_counts
    date +%s.%N > "$runs/$name.started"
    tmux -L "$socket" new-session -d -s "$name" -x 200 -y 50 \
        "source '$session/env' && cd '$directory' && env $* wine '$program' > '$runs/$name.out'; echo \$? > '$runs/$name.rc'"
}

# Until the fixture shows COUNT at VALUE or more (see find_count): one
# process that looks every 10 ms, not three at each look.
wait_for_count() {  # wait_for_count COUNT... VALUE
    find_count "${@:1:$#-1}"
    perl -e 'use strict;
        my ($file, $index, $value, $seconds) = @ARGV;
        open my $counts, "<", $file or die "$file: $!\n";
        my $bytes;
        for (my $end = time + $seconds; time < $end; select undef, undef, undef, 0.01) {
            sysseek $counts, $index * 8, 0;
            sysread($counts, $bytes, 8) == 8 && unpack("Q<", $bytes) >= $value and exit 0;
        }
        exit 1' "$ORVENNA_FIXTURE_COUNTS" "$count_index" "${*: -1}" "$RUN_SECONDS" && return 0
    echo "timed out waiting for the fixture's count $* " >&2
    return 1
}

press() {  # press NAME KEY
    tmux -L "$socket" send-keys -t "$1" "$2"
}

wait_for_exit() {  # wait_for_exit NAME: prints the exit code
    local deadline=$((SECONDS + RUN_SECONDS))
    while [ $SECONDS -lt $deadline ]; do
        [ -s "$runs/$1.rc" ] && { cat "$runs/$1.rc"; return; }
        pause_for 0.2
    done
    echo "timed out waiting for $1 to end" >&2
    echo "none"
}

# The program's process in this session (Wine names it after the program):
# another session's runs on the same machine are not this test's.
program_pid() {
    local pid
    for pid in $(pgrep -x orvenna.exe); do
        grep -qzxF "ORVENNA_FIXTURE_ROOT=$ORVENNA_FIXTURE_ROOT" "/proc/$pid/environ" 2> /dev/null && echo "$pid" && return
    done
    return 1
}

workspace_of() {  # the Unix path of the workspace that NAME's run announced
    with_fixture winepath -u "$(announced_workspace "$runs/$1.out")" 2>/dev/null
}
