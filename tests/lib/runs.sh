# Waiting for a running program to reach a state, without guessing at times:
# a line in its output, or a stop (SIGSTOP) that has taken hold. Sourced by
# bash scripts.

wait_for_lines() {  # wait_for_lines FILE TEXT COUNT: until TEXT shows on COUNT lines
    for _ in $(seq 30000); do
        [ "$(grep -a -c -F -- "$2" "$1" 2>/dev/null || true)" -ge "$3" ] 2>/dev/null && return 0
        sleep 0.01
    done
    echo "timed out waiting for '$2' in $1" >&2
    return 1
}

# Stops every thread of PID and returns once all of them are stopped.
freeze() {  # freeze PID
    kill -s STOP "$1"
    local task
    for task in /proc/"$1"/task/*; do
        until [ "$(cut -d ' ' -f 3 "$task/stat" 2>/dev/null || echo T)" = T ]; do sleep 0.001; done
    done
}

last_line() {  # last_line FILE: its last line, without CR
    tail -n 1 "$1" | tr -d '\r'
}

# Freezes PID when the last line of its output FILE is LINE, trying again at
# each new such line; fails if the program ends first.
freeze_after_line() {  # freeze_after_line PID FILE LINE
    local seen=0 count
    while kill -0 "$1" 2>/dev/null; do
        count=$(grep -a -c -F -x -- "$3"$'\r' "$2" || true)
        if [ "$count" -gt "$seen" ]; then
            freeze "$1"
            [ "$(last_line "$2")" = "$3" ] && return 0
            seen=$(grep -a -c -F -x -- "$3"$'\r' "$2" || true)
            kill -s CONT "$1"
        fi
        sleep 0.001
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
        sleep 0.01
    done
}
