# Helpers for the tests that run the real program: the console text it must
# print, assembled from its definition, and a way to compare transcripts whose
# measured seconds vary from run to run. Sourced by bash scripts.

CRLF=$'\r\n'
VERSION=$(bash "$(dirname "${BASH_SOURCE[0]}")/../../release/version.sh")
RULE="$(printf '=%.0s' {1..66})$CRLF"
ANY_KEY="${CRLF}Press any key to exit....$CRLF"
CLOSING_PROMPT="${CRLF}Press [a] for About or any other key to exit....$CRLF"
INTERRUPTED="$CRLF[ERROR] Orvenna interrupted...${CRLF}The program will NOT close immediately.$CRLF"
EXPLORER_REASON=".DIAG. The random workspace was opened in File Explorer during the benchmark.$CRLF"

invalidated_by() {  # invalidated_by REASON_LINES
    printf '%s' "$CRLF.DIAG. Orvenna invalidated...$CRLF$1.DIAG. The result is no longer valid.$CRLF"
}

start_text() {  # start_text WORKSPACE
    printf '.DIAG. Workspace directory: %s\r\n' "$1"
    printf '\r\n%s%21sOrvenna V%s\r\n%s\r\n' "$RULE" '' "$VERSION" "$RULE"
}

cycle_text() {  # cycle_text CYCLE: one cycle up to its report, seconds shown as N
    local cycle=$1 k
    printf '\r\n%s%16sOrvenna %s/7\r\n%s' "$RULE" '' "$cycle" "$RULE"
    printf '.DIAG. Benchmark initialization.\r\n'
    printf '.DIAG. Creating 92160 directories with 1024 threads.\r\n'
    printf '.DIAG. Waiting for threads....\r\n'
    printf '.DIAG. All 1024 threads have finished.\r\n'
    printf '.DIAG. Handles closed.\r\n'
    printf '.DIAG. Deleting this cycle directories....\r\n'
    for ((k = cycle; k >= 1; k--)); do printf '.DIAG. Benchmark %s duration: N Seconds\r\n' "$k"; done
    printf '.DIAG. Result saved.\r\n'
}

completed_cycles() {  # completed_cycles COUNT
    local cycle
    for ((cycle = 1; cycle <= $1; cycle++)); do
        cycle_text "$cycle"
        printf '.DIAG. Preparing next benchmark.\r\n'
    done
}

average_banner() {
    printf '\r\n%sYour Record Average:%9sN Seconds (Lower is better)\r\n%s' "$RULE" '' "$RULE"
}

expected_complete_run() {  # expected_complete_run WORKSPACE
    start_text "$1"
    completed_cycles 7
    average_banner
    printf '%s' "$CLOSING_PROMPT"
}

about_block() {
    printf '\r\n'
    local line
    for line in "Orvenna V$VERSION" "Windows Orvenna" "Created by the Orvenna developers" \
        "E-Mail developers@orvenna.example" "Youtube https://www.youtube.com/@orvenna" \
        "Make your record with this Orvenna" "Orvenna create 645120 folder in 7 cycles" \
        "with 1024 thread every time." "Have Fun !"; do
        printf '.DIAG.  %s\r\n' "$line"
    done
}

announced_workspace() {  # announced_workspace OUTPUT_FILE
    sed -n 's/^\.DIAG\. Workspace directory: \(.*\)\r$/\1/p' "$1"
}

# True when the program's bytes equal the expected bytes, measured seconds aside.
compare_transcript() {  # compare_transcript OUTPUT_FILE EXPECTED_FILE
    if sed -E 's/(duration: |Average: +)[0-9]+ Seconds/\1N Seconds/' "$1" | cmp -s - "$2"; then return 0; fi
    echo "--- transcript differs; expected $2, got $1:" >&2
    sed -E 's/(duration: |Average: +)[0-9]+ Seconds/\1N Seconds/' "$1" | diff <(cat -A "$2") <(cat -A) | head -20 >&2
    return 1
}

# The user's own things in START_DIRECTORY: files, folders, a private file, a
# directory shaped like a workspace name, and a link to a folder outside.
make_user_files() {  # make_user_files START_DIRECTORY OUTSIDE_DIRECTORY
    mkdir -p "$1/folder/nested" "$1/abcde1" "$2"
    echo "keep me" > "$1/notes.txt"
    echo "inner" > "$1/folder/nested/file"
    echo "private" > "$1/secret" && chmod 600 "$1/secret"
    echo "mine" > "$1/abcde1/inside"
    echo "outside" > "$2/file"
    ln -s "$2" "$1/link"
}

# Names, types, sizes, modes, link targets and contents of everything below DIR.
snapshot() {  # snapshot DIR
    (cd "$1" && find . -printf '%p %y %s %m %l\n' | LC_ALL=C sort &&
        find . -type f -exec md5sum {} + | LC_ALL=C sort)
}

directory_of_length() {  # directory_of_length PREFIX LENGTH: a path of exactly LENGTH characters
    local path=$1
    while [ $((${#path} + 1)) -lt "$2" ]; do
        local room=$(($2 - ${#path} - 1))
        [ "$room" -gt 200 ] && room=200
        path="$path/$(printf 'd%.0s' $(seq "$room"))"
    done
    printf '%s' "$path"
}
