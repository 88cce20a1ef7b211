#!/usr/bin/env bash
# The release archives are reproducible: built from two copies of the source
# in different directories, at different times, they are byte for byte the
# same; they hold what they should; and the program in an archive is the very
# program that the tests of this tree ran.
#   reproducible.sh SOURCE_DIRECTORY ARCHIVE_NAME MEMBER TESTED_PROGRAM
# (ARCHIVE_NAME: windows-x86_64, linux-x86_64 or linux-aarch64; MEMBER: the
# program's name in that archive)
set -u
source_dir=$1 archive_name=$2 member=$3 tested=$4
source "$source_dir/tests/lib/check.sh"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-reproducible-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
version=$(sed -n 's/^project(Orvenna VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")

# A copy of the source as a fresh checkout would have it, built into OUT.
build_copy() {  # build_copy COPY_DIRECTORY OUT
    mkdir -p "$1"
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 cp --parents -t "$1")
    bash "$1/release/dist.sh" "$2" > /dev/null
}

build_copy "$scratch/first/source" "$scratch/first/dist"
sleep 1
build_copy "$scratch/second/a/longer/path/source" "$scratch/second/dist"
archives="orvenna-$version-windows-x86_64.zip orvenna-$version-linux-x86_64.tar.gz orvenna-$version-linux-aarch64.tar.gz"
for file in $archives SHA256SUMS; do
    check "$file: the same bytes from both builds" cmp -s "$scratch/first/dist/$file" "$scratch/second/dist/$file"
done
check "SHA256SUMS matches the archives" bash -c "cd '$scratch/first/dist' && sha256sum --quiet -c SHA256SUMS"

unpacked="$scratch/unpacked"
mkdir -p "$unpacked/windows" "$unpacked/x86_64" "$unpacked/aarch64"
(cd "$unpacked/windows" && unzip -q "$scratch/first/dist/orvenna-$version-windows-x86_64.zip")
tar -xzf "$scratch/first/dist/orvenna-$version-linux-x86_64.tar.gz" -C "$unpacked/x86_64"
tar -xzf "$scratch/first/dist/orvenna-$version-linux-aarch64.tar.gz" -C "$unpacked/aarch64"
check "the zip holds orvenna.exe, README.txt and LICENSE.txt" \
    test "$(ls "$unpacked/windows" | tr '\n' ' ')" = "LICENSE.txt README.txt orvenna.exe "
check "README.txt and LICENSE.txt end their lines in CR LF" \
    test -z "$(grep -c -v $'\r$' "$unpacked/windows/README.txt" "$unpacked/windows/LICENSE.txt" | grep -v ':0$')"
check "README.txt is the user part of the README" \
    bash -c "grep -q 'Reading the score' '$unpacked/windows/README.txt' && ! grep -q '^## Tests' '$unpacked/windows/README.txt'"
for architecture in x86_64 aarch64; do
    check "linux-$architecture: orvenna, README.md and LICENSE, owned by root, dated at the last commit" \
        test "$(tar -tvzf "$scratch/first/dist/orvenna-$version-linux-$architecture.tar.gz" |
            awk '{print $1, $2, $4, $5, $6}' | tr '\n' ';')" = \
        "-rw-r--r-- 0/0 $(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %R') LICENSE;-rw-r--r-- 0/0 $(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %R') README.md;-rwxr-xr-x 0/0 $(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %R') orvenna;"
done
check "linux-x86_64: a static x86-64 program" \
    bash -c "readelf -h '$unpacked/x86_64/orvenna' | grep -q 'X86-64' && ! readelf -l '$unpacked/x86_64/orvenna' | grep -q INTERP"
check "linux-aarch64: a static AArch64 program" \
    bash -c "readelf -h '$unpacked/aarch64/orvenna' | grep -q 'AArch64' && ! readelf -l '$unpacked/aarch64/orvenna' | grep -q INTERP"
case "$archive_name" in
windows-x86_64) unpacked_member="$unpacked/windows/$member" ;;
linux-*) unpacked_member="$unpacked/${archive_name#linux-}/$member" ;;
esac
check "$archive_name: $member is the program this tree's tests ran" cmp -s "$unpacked_member" "$tested"
report_checks
