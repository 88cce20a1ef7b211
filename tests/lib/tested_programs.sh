# The programs that the test trees built and tested, as the release tests are
# given them (ARCHIVE_NAME=PROGRAM arguments), in the array `tested` by
# archive name. Without all three the sourcing test is skipped (status 77):
# make test builds every tree and passes them. Sourced with the arguments:
#   source tested_programs.sh "$@"

declare -A tested
for tested_program in "$@"; do
    tested[${tested_program%%=*}]=${tested_program#*=}
done
for archive_name in windows-x86_64 linux-x86_64 linux-aarch64; do
    if [ ! -f "${tested[$archive_name]:-}" ]; then
        echo "skipped: no tested $archive_name program (make test builds every tree and passes them)"
        exit 77
    fi
done
