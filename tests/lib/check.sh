# Named checks for the test scripts: `check DESCRIPTION COMMAND...` runs the
# command and reports ok or FAIL; `report_checks` prints the totals and fails
# when any check failed. Sourced by bash scripts.

passes=0
failures=0

check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok   $1"
        passes=$((passes + 1))
    else
        echo "FAIL $1"
        failures=$((failures + 1))
    fi
}

report_checks() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
