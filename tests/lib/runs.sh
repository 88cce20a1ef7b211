# Waiting for a running program to reach a state, without guessing at times:
# a line in its output, or a stop (SIGSTOP) that has taken hold. Sourced by
# bash scripts.
#
# The loops here start no process at each turn: on a loaded machine a loop
# that forks a grep and a sleep every few milliseconds takes a processor of
# its own away from the programs under test.

# A pipe that this shell holds both ends of: a read from it never gets data,
# so a read with a time-out is a sleep without a process.
exec {pause_fd}<> <(:)
pause_for() {  # pause_for SECONDS
    read -r -t "$1" -u "$pause_fd" _
    return 0
}

# Reads FILE once, by the shell itself: into line_count, how many of its
# lines hold TEXT (with -x: are TEXT, the CR that ends a console line aside);
# into final_line, its last line without CR. A missing file has no lines.
count_lines() {  # count_lines [-x] FILE TEXT
    local whole=0 line
    [ "$1" = -x ] && whole=1 && shift
    line_count=0 final_line=""
    [ -r "$1" ] || return 0
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        final_line=$line
        if ((whole)); then
            [ "$line" = "$2" ] && line_count=$((line_count + 1))
        else
            [[ $line == *"$2"* ]] && line_count=$((line_count + 1))
        fi
    done < "$1"
    return 0
}

wait_for_lines() {  # wait_for_lines FILE TEXT COUNT: until TEXT shows on COUNT lines
    local deadline=$((SECONDS + 600))
    while [ $SECONDS -lt $deadline ]; do
        count_lines "$1" "$2"
        [ "$line_count" -ge "$3" ] && return 0
        pause_for 0.01
    done
    echo "timed out waiting for '$2' in $1" >&2
    return 1
}

# The state letter of a process or thread, from its stat FILE, into state;
# fails once it is gone.
read_state() {  # read_state STAT_FILE
    local stat
    read -r stat 2> /dev/null < "$1" || return 1
    stat=${stat##*) }
    state=${stat%% *}
}

# Whether PID is still running. A child that has ended is a zombie until this
# shell reaps it, which it may only do once it next starts a process: kill -0
# still finds a zombie.
running() {  # running PID
    read_state "/proc/$1/stat" && [ "$state" != Z ]
}

# Stops every thread of PID and returns once all of them are stopped (a
# thread that has ended counts as stopped).
freeze() {  # freeze PID
    kill -s STOP "$1"
    local task
    for task in /proc/"$1"/task/*; do
        while read_state "$task/stat" && [ "$state" != T ]; do pause_for 0.001; done
    done
}

# Freezes PID when the last line of its output FILE is LINE, trying again at
# each new such line; fails if the program ends first.
freeze_after_line() {  # freeze_after_line PID FILE LINE
    local seen=0
    while running "$1"; do
        count_lines -x "$2" "$3"
        if [ "$line_count" -gt "$seen" ]; then
            freeze "$1"
            count_lines -x "$2" "$3"
            [ "$final_line" = "$3" ] && return 0
            seen=$line_count
            kill -s CONT "$1"
        fi
        pause_for 0.001
    done
    return 1
}

# Freezes run PID (output in OUTPUT) in a cycle from CYCLE on, while its
# workers are launched and the workspace already holds some of their directories.
freeze_with_directories() {  # freeze_with_directories PID OUTPUT CYCLE
    wait_for_lines "$2" "Orvenna $3/7" 1 || return 1
    local workspace
    workspace=$(announced_workspace "$2")
    while freeze_after_line "$1" "$2" ".DIAG. Creating 92160 directories with 1024 threads."; do
        [ "$(directories_in "$workspace")" -gt 0 ] && return 0
        kill -s CONT "$1"
    done
    return 1
}

# How many directories DIRECTORY holds, from its link count: without opening
# it. A file system whose directories keep a link count of 1 (btrfs) counts
# nothing this way: that fails, and prints nothing to compare.
directories_in() {  # directories_in DIRECTORY
    local links
    links=$(stat -c %h "$1") || return 1
    if [ "$links" -lt 2 ]; then
        echo "directories_in: $1 has a link count of $links: its file system does not count subdirectories" >&2
        return 1
    fi
    echo $((links - 2))
}

# The exit status of the background job PID once it has ended: under job
# control, wait also returns when the job was stopped or let go.
exit_status_of() {  # exit_status_of PID
    local status
    while :; do
        wait "$1"
        status=$?
        kill -0 "$1" 2> /dev/null || return "$status"
        # A process started here makes the shell reap its ended children:
        # after a stop and a continue, its record of PID can lag behind.
        sleep 0.01
    done
}
