#!/usr/bin/env bash
# The Debian packages as a user meets them: packed by release/package.sh from
# the programs the test trees built and tested, they hold what they should
# with the modes and owners Debian expects, lintian finds no error or warning,
# the manual page is clean and says what the README says, and the amd64
# package installs into a throw-away root, runs a whole benchmark from a
# memory file system, and is removed again leaving nothing behind. The arm64
# package's program runs under qemu. (Packed the same twice and from two
# copies: reproducible.sh.)
#   packages.sh SOURCE_DIRECTORY ARCHIVE_NAME=TESTED_PROGRAM...
# (ARCHIVE_NAME: windows-x86_64, linux-x86_64 and linux-aarch64, all three;
# without them it is skipped with status 77)
set -u
source_dir=$1
shift
source "$source_dir/tests/lib/check.sh"
source "$source_dir/tests/lib/transcript.sh"
source "$source_dir/tests/lib/tested_programs.sh" "$@"

scratch=$(mktemp -d /dev/shm/orvenna-packages-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# A developer's tree may hold uncommitted changes: its packages are then marked ~dirty.
ORVENNA_DIST_DIRTY=1 bash "$source_dir/release/package.sh" "$scratch/dist" \
    "$(dirname "${tested[windows-x86_64]}")" "$(dirname "${tested[linux-x86_64]}")" \
    "$(dirname "${tested[linux-aarch64]}")" > /dev/null
package_version=$(bash "$source_dir/release/version.sh")
[ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ] && package_version+="~dirty"
dated=$(TZ=UTC date -d "@$(git -C "$source_dir" log -1 --format=%ct)" '+%F %R')

built_using_names_the_sources() {  # built_using_names_the_sources PACKAGE COPYRIGHT
    local built_using sources source_package
    built_using=$(dpkg-deb -f "$1" Built-Using)
    sources=$(sed -n 's/^ *Source: *Debian source package \([^ ]*\) \([^ ]*\)$/\1 (= \2)/p' "$2" | sort -u)
    [ -n "$sources" ] || return 1
    while read -r source_package; do
        [[ ", $built_using, " == *", $source_package, "* ]] || return 1
    done <<< "$sources"
}

for pair in amd64:linux-x86_64 arm64:linux-aarch64; do
    architecture=${pair%%:*} program=${tested[${pair#*:}]}
    package="$scratch/dist/orvenna_${package_version}_$architecture.deb"
    check "$architecture: the package is listed in SHA256SUMS" grep -q " $(basename "$package")\$" "$scratch/dist/SHA256SUMS"
    check "$architecture: its files, owned by root, dated at the last commit" \
        test "$(TZ=UTC dpkg-deb -c "$package" | awk '{print $1, $2, $4, $5, $6}' | tr '\n' ';')" = \
        "$(printf '%s;' "drwxr-xr-x root/root $dated ./" "drwxr-xr-x root/root $dated ./usr/" \
            "drwxr-xr-x root/root $dated ./usr/bin/" "-rwxr-xr-x root/root $dated ./usr/bin/orvenna" \
            "drwxr-xr-x root/root $dated ./usr/share/" "drwxr-xr-x root/root $dated ./usr/share/doc/" \
            "drwxr-xr-x root/root $dated ./usr/share/doc/orvenna/" \
            "-rw-r--r-- root/root $dated ./usr/share/doc/orvenna/changelog.gz" \
            "-rw-r--r-- root/root $dated ./usr/share/doc/orvenna/copyright" \
            "drwxr-xr-x root/root $dated ./usr/share/lintian/" \
            "drwxr-xr-x root/root $dated ./usr/share/lintian/overrides/" \
            "-rw-r--r-- root/root $dated ./usr/share/lintian/overrides/orvenna" \
            "drwxr-xr-x root/root $dated ./usr/share/man/" "drwxr-xr-x root/root $dated ./usr/share/man/man1/" \
            "-rw-r--r-- root/root $dated ./usr/share/man/man1/orvenna.1.gz")"
    check "$architecture: package orvenna $package_version for $architecture" \
        test "$(dpkg-deb -f "$package" Package Version Architecture | tr '\n' ';')" = \
        "Package: orvenna;Version: $package_version;Architecture: $architecture;"
    unpacked="$scratch/$architecture"
    dpkg-deb -x "$package" "$unpacked"
    check "$architecture: /usr/bin/orvenna is the program its tree's tests ran" cmp -s "$unpacked/usr/bin/orvenna" "$program"
    check "$architecture: the copyright file carries the notices of what is linked in" \
        bash -c "grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' '$unpacked/usr/share/doc/orvenna/copyright' &&
            grep -q '^ GNU C Library (glibc)' '$unpacked/usr/share/doc/orvenna/copyright' &&
            grep -q '^License: Expat' '$unpacked/usr/share/doc/orvenna/copyright'"
    check "$architecture: Built-Using names the source of every library linked in" \
        built_using_names_the_sources "$package" "$unpacked/usr/share/doc/orvenna/copyright"
    lintian --fail-on error,warning "$package" > "$scratch/lintian-$architecture" 2>&1
    check "$architecture: lintian reports no error and no warning" test $? = 0
    grep -E '^[EW]: ' "$scratch/lintian-$architecture" >&2
done

manual="$scratch/orvenna.1"
gzip -dc "$scratch/amd64/usr/share/man/man1/orvenna.1.gz" > "$manual"
check "manual page: mandoc finds nothing to warn of" test -z "$(mandoc -T lint -W warning "$manual" 2>&1)"
check "manual page: dated at the last commit" \
    grep -q -x "\.Dd $(TZ=UTC LC_ALL=C date -d "@$(git -C "$source_dir" log -1 --format=%ct)" '+%B %-d, %Y')" "$manual"

# The table of failures, cell for cell as the README has it (its code marks aside).
readme_table() {
    sed -n '/^## When a run fails$/,/^## /p' "$source_dir/README.md" | grep '^| ' | sed -n '2,$p' |
        sed -e 's/`//g' -e 's/^| //' -e 's/ |$//' -e 's/ | /|/g'
}
manual_table() {  # the rows after the header's rule, each text block joined into its row
    sed -n '/^\.TS$/,/^\.TE$/p' "$manual" | sed -n '/^_$/,/^\.TE$/p' | sed -e '1d' -e '$d' |
        awk '{ text = text $0 "\n" } END { gsub(/T\{\n/, "", text); gsub(/\nT\}/, "", text); printf "%s", text }'
}
check "manual page: its table of failures is the README's" test "$(manual_table)" = "$(readme_table)"
diff <(readme_table) <(manual_table) >&2

# Installed into a throw-away root with dpkg (its log there too, not in the
# machine's), it runs from a memory file system; removed again, nothing of it
# is left.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$scratch/run"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
check "install: dpkg installs the amd64 package" \
    dpkg --root="$root" --log="$scratch/dpkg.log" --force-not-root -i "$scratch/dist/orvenna_${package_version}_amd64.deb" > /dev/null
(cd "$scratch/run" && printf x | "$root/usr/bin/orvenna" > "$scratch/run.out"; echo $? > "$scratch/run.rc")
check "install: the installed program completes a run" test "$(cat "$scratch/run.rc")" = 0
expected_complete_run "$(announced_workspace "$scratch/run.out")" > "$scratch/run.expected"
check "install: its transcript as usual" compare_transcript "$scratch/run.out" "$scratch/run.expected"
check "install: nothing left in the start directory" test -z "$(ls -A "$scratch/run")"
check "install: dpkg removes it" dpkg --root="$root" --log="$scratch/dpkg.log" --force-not-root --purge orvenna > /dev/null
check "install: nothing of it is left" test -z "$(find "$root" -mindepth 1 -not -path "$root/var" -not -path "$root/var/lib" -not -path "$root/var/lib/dpkg*")"

# The arm64 package's program under the emulator: refused from a 253-character
# directory, as on the machine it is built for (program.emulated_run runs that
# same program through a whole benchmark).
long=$(directory_of_length "$scratch/long" 253)
mkdir -p "$long"
(cd "$long" && printf x | qemu-aarch64 "$scratch/arm64/usr/bin/orvenna" > "$scratch/arm64.out"; echo $? > "$scratch/arm64.rc")
printf '\r\n[ERROR] GetCurrentDirectoryA\r\n%s' "$ANY_KEY" > "$scratch/arm64.expected"
check "arm64: the packaged program runs under qemu-aarch64: exit code 1" test "$(cat "$scratch/arm64.rc")" = 1
check "arm64: the packaged program runs under qemu-aarch64: its message" \
    compare_transcript "$scratch/arm64.out" "$scratch/arm64.expected"

report_checks
