#!/usr/bin/env bash
# The native program meeting real faults: thread creation failing for lack of
# address space, a file system that fills up, no inotify instance for the
# workspace watch, a read-only start directory.
# Each case works in a memory file system of its own and leaves nothing behind.
# Mounting needs root; without it the test is skipped (exit 77).
set -u
program=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"

scratch=$(mktemp -d /tmp/orvenna-faults-XXXXXX)
mounts=()
cleanup() {
    local index
    for ((index = ${#mounts[@]} - 1; index >= 0; index--)); do umount -l "${mounts[index]}" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT

memory_file_system() {  # memory_file_system NAME MOUNT_OPTIONS: mounts it at $scratch/NAME
    mkdir -p "$scratch/$1"
    mount -t tmpfs -o "$2" "orvenna-$1" "$scratch/$1" || return 1
    mounts+=("$scratch/$1")
}

run_in() {  # run_in DIRECTORY NAME [PREFIX...]: stdout to NAME.out, exit code to NAME.rc
    local directory=$1 name=$2
    shift 2
    (cd "$directory" && printf 'x' | "$@" "$program" > "$scratch/$name.out"; echo $? > "$scratch/$name.rc")
}

if [ "$(id -u)" != 0 ] || ! memory_file_system threads size=64m; then
    echo "skipped: mounting a memory file system needs root"
    exit 77
fi

# Thread creation fails part-way through the first launch: every thread
# reserves its default stack, and the address space cannot hold 1,024 of them.
tree="$scratch/threads" user="$scratch/threads/user"
make_user_files "$user" "$tree/outside"
before=$(snapshot "$tree")
run_in "$user" threads prlimit --as=1073741824 --stack=8388608
check "thread failure: exit code 0" test "$(cat "$scratch/threads.rc")" = 0
workspace=$(announced_workspace "$scratch/threads.out")
error=$(grep -a -o 'Win32 error code: [0-9]*' "$scratch/threads.out")
check "thread failure: EAGAIN reported ($error)" test "$error" = "Win32 error code: 11"
{
    start_text "$workspace"
    cycle_text 1 | sed -n '1,6p'
    printf '\r\n[ERROR] CreateThread failed.\r\nWin32 error code: 11\r\n%s%s' "$INTERRUPTED" "$ANY_KEY"
} > "$scratch/threads.expected"
check "thread failure: transcript" compare_transcript "$scratch/threads.out" "$scratch/threads.expected"
check "thread failure: the workspace stays, with only this cycle's directories" \
    test -z "$(ls -A "$workspace" | grep -v -E '^a[0-9]{5}$')"
rm -rf "$workspace"
check "thread failure: nothing but the workspace changed" test "$(snapshot "$tree")" = "$before"

# The file system runs out of inodes in the first cycle: the directories it
# could not create invalidate the run after that cycle, and nothing stays.
memory_file_system full size=8m,nr_inodes=3000 && full="$scratch/full"
# The workspace takes one of the free inodes; each directory made takes one more.
uncreated=$((92160 - ($(stat -f -c %d "$full") - 1)))
run_in "$full" full
check "full file system: exit code 0" test "$(cat "$scratch/full.rc")" = 0
{
    start_text "$(announced_workspace "$scratch/full.out")"
    cycle_text 1
    invalidated_by ".DIAG. $uncreated of 92160 directories could not be created in this cycle (Win32 error code: 28).$CRLF"
    printf '%s' "$CLOSING_PROMPT"
} > "$scratch/full.expected"
check "full file system: invalidated after cycle 1 with ENOSPC" \
    compare_transcript "$scratch/full.out" "$scratch/full.expected"
check "full file system: nothing left behind" test -z "$(ls -A "$full")"

# No directory watch to be had (a user namespace that allows no inotify
# instance): the run goes on unwatched.
memory_file_system unwatched size=64m
run_in "$scratch/unwatched" unwatched unshare --user --map-root-user \
    sh -c 'echo 0 > /proc/sys/user/max_inotify_instances && exec "$0"'
check "no watch: exit code 0" test "$(cat "$scratch/unwatched.rc")" = 0
expected_complete_run "$(announced_workspace "$scratch/unwatched.out")" > "$scratch/unwatched.expected"
check "no watch: a complete run" compare_transcript "$scratch/unwatched.out" "$scratch/unwatched.expected"
check "no watch: nothing left behind" test -z "$(ls -A "$scratch/unwatched")"

# A start directory that cannot be written: refused, nothing written.
memory_file_system readonly size=1m && readonly_directory="$scratch/readonly"
mkdir "$readonly_directory/existing"
mount -o remount,ro "$readonly_directory"
run_in "$readonly_directory" readonly
check "read-only: exit code 1" test "$(cat "$scratch/readonly.rc")" = 1
printf '\r\n[ERROR] Unable to create random workspace directory.\r\n%s' "$ANY_KEY" > "$scratch/readonly.expected"
check "read-only: message" compare_transcript "$scratch/readonly.out" "$scratch/readonly.expected"
check "read-only: nothing written" test "$(ls -A "$readonly_directory")" = existing

report_checks
