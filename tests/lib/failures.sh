#!/usr/bin/env bash
# The last lines of a red make test: each failing tree, its failing tests and
# the checks that failed in them, and where the whole log stays.
#   failures.sh TREE...
echo
echo "=== make test failed"
for tree in "$@"; do
    log=$tree/ctest.log
    if [ ! -s "$log" ]; then
        echo "$tree: did not build (its build output is above)"
        continue
    fi
    echo "$tree: failing tests (whole log: $PWD/$log)"
    sed -n '/^The following tests FAILED:/,/^Errors while running CTest/p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true
    # The checks and GoogleTest cases that failed, and waits that ran out, once each.
    grep -a -E '^FAIL |^\[  FAILED  \] [^ ]+\.[^ ]+|timed out' "$log" | sed -E 's/ \([0-9]+ ms\)$//' |
        awk '!seen[$0]++ {print "    " $0}'
done
