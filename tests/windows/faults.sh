#!/usr/bin/env bash
# The real orvenna.exe meeting real faults below Wine: thread creation failing
# in the middle of the first launch (the fixture fails a pthread_create), a file system
# out of inodes, a read-only start directory. Mounting needs root; without it
# the test is skipped (exit 77).
#   faults.sh SESSION ORVENNA_EXE
set -u
session=$1 program=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/transcript.sh"
source "$here/../lib/check.sh"
source "$here/wine_run.sh"

mounts=()
trap 'tmux -L "$socket" kill-server 2>/dev/null; for m in "${mounts[@]}"; do umount -l "$m"; done; rm -rf "$runs"' EXIT

memory_file_system() {  # memory_file_system NAME MOUNT_OPTIONS: mounts it at $runs/NAME
    mkdir -p "$runs/$1"
    mount -t tmpfs -o "$2" "orvenna-wine-$1" "$runs/$1" || return 1
    mounts+=("$runs/$1")
}

if [ "$(id -u)" != 0 ] || ! memory_file_system readonly size=1m; then
    echo "skipped: mounting a memory file system needs root"
    exit 77
fi

# Worker 512 cannot be started: the main thread's 513th thread.
threads=$(run_directory threads)
start_program threads "$threads" ORVENNA_FIXTURE_FAIL_THREAD=513
wait_for_output threads "Press any key"
check "thread failure: the 512 started workers made their 46,080 directories" wait_for_count created a 46080
press threads x
check "thread failure: exit code 0" test "$(wait_for_exit threads)" = 0
# Wine turns pthread_create's EAGAIN into ERROR_NOT_ENOUGH_MEMORY.
{
    start_text "$(announced_workspace "$runs/threads.out")"
    cycle_text 1 | sed -n '1,6p'
    printf '\r\n[ERROR] CreateThread failed.\r\nWin32 error code: 8\r\n%s%s' "$INTERRUPTED" "$ANY_KEY"
} > "$runs/threads.expected"
check "thread failure: transcript, ERROR_NOT_ENOUGH_MEMORY" compare_transcript "$runs/threads.out" "$runs/threads.expected"
workspace=$(workspace_of threads)
check "thread failure: exactly 46,080 made and none removed" \
    test "$(count_of created a)/$(count_of removed a)" = 46080/0
check "thread failure: the workspace stays with those directories only" \
    test "$(ls -A "$workspace" | grep -c -E '^a[0-9]{5}$')/$(ls -A "$workspace" | wc -l)" = 46080/46080

# A file system with too few inodes for one cycle.
memory_file_system full size=8m,nr_inodes=3000
start_program full "$runs/full"
wait_for_output full "Press [a] for About"
press full x
check "full file system: exit code 0" test "$(wait_for_exit full)" = 0
uncreated=$((92160 - $(count_of created a)))
{
    start_text "$(announced_workspace "$runs/full.out")"
    cycle_text 1
    invalidated_by ".DIAG. $uncreated of 92160 directories could not be created in this cycle (Win32 error code: 112).$CRLF"
    printf '%s' "$CLOSING_PROMPT"
} > "$runs/full.expected"
check "full file system: invalidated after cycle 1 with ERROR_DISK_FULL ($uncreated not created)" \
    compare_transcript "$runs/full.out" "$runs/full.expected"
check "full file system: all that was created was removed" test "$(count_of removed a)" = "$(count_of created a)"
check "full file system: nothing left behind" test -z "$(ls -A "$runs/full")"

# A start directory that cannot be written.
mkdir "$runs/readonly/existing"
mount -o remount,ro "$runs/readonly"
start_program readonly "$runs/readonly"
wait_for_output readonly "Press any key"
press readonly x
check "read-only: exit code 1" test "$(wait_for_exit readonly)" = 1
printf '\r\n[ERROR] Unable to create random workspace directory.\r\n%s' "$ANY_KEY" > "$runs/readonly.expected"
check "read-only: message" compare_transcript "$runs/readonly.out" "$runs/readonly.expected"
check "read-only: nothing written" test "$(ls -A "$runs/readonly")" = existing

report_checks
