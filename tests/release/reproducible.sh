#!/usr/bin/env bash
# The release archives are reproducible: built from two copies of the source
# in different directories, at different times, they are byte for byte the
# same; they hold what they should; and the program in each archive named is
# the very program that a tree's tests ran, its notices naming every library
# in that program's link map (orvenna.map beside it).
#   reproducible.sh SOURCE_DIRECTORY ARCHIVE_NAME=TESTED_PROGRAM...
# (ARCHIVE_NAME: windows-x86_64, linux-x86_64 or linux-aarch64)
set -u
source_dir=$1
shift
source "$source_dir/tests/lib/check.sh"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-reproducible-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
version=$(bash "$source_dir/release/version.sh")

# The tree under test, committed into a fresh repository at COPY_DIRECTORY:
# the same tree, author and dates give the same commit in every copy.
copy_source() {  # copy_source COPY_DIRECTORY
    mkdir -p "$1"
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 cp --parents -t "$1")
    git -C "$1" init -q
    git -C "$1" add -A
    GIT_COMMITTER_DATE="@$SOURCE_DATE_EPOCH" git -C "$1" -c user.name=Orvenna -c user.email=tests@orvenna.example \
        commit -q --date="@$SOURCE_DATE_EPOCH" -m "The tree under test"
}

build_copy() {  # build_copy COPY_DIRECTORY OUT
    copy_source "$1"
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
check "the zip holds orvenna.exe, README.txt, LICENSE.txt and THIRD-PARTY-NOTICES.txt" \
    test "$(ls "$unpacked/windows" | tr '\n' ' ')" = "LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt orvenna.exe "
check "the zip's text files end their lines in CR LF" \
    test -z "$(grep -c -v $'\r$' "$unpacked/windows"/*.txt | grep -v ':0$')"
check "README.txt is the user part of the README" \
    bash -c "grep -q 'Reading the score' '$unpacked/windows/README.txt' && ! grep -q '^## Tests' '$unpacked/windows/README.txt'"
# tar shows local time: both sides in UTC, whatever the machine's zone.
dated=$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%F %R')
for architecture in x86_64 aarch64; do
    check "linux-$architecture: orvenna, README.md, LICENSE and the notices, owned by root, dated at the last commit" \
        test "$(TZ=UTC tar -tvzf "$scratch/first/dist/orvenna-$version-linux-$architecture.tar.gz" |
            awk '{print $1, $2, $4, $5, $6}' | tr '\n' ';')" = \
        "-rw-r--r-- 0/0 $dated LICENSE;-rw-r--r-- 0/0 $dated README.md;-rw-r--r-- 0/0 $dated THIRD-PARTY-NOTICES.txt;-rwxr-xr-x 0/0 $dated orvenna;"
done
check "linux-x86_64: a static x86-64 program" \
    bash -c "readelf -h '$unpacked/x86_64/orvenna' | grep -q 'X86-64' && ! readelf -l '$unpacked/x86_64/orvenna' | grep -q INTERP"
check "linux-aarch64: a static AArch64 program" \
    bash -c "readelf -h '$unpacked/aarch64/orvenna' | grep -q 'AArch64' && ! readelf -l '$unpacked/aarch64/orvenna' | grep -q INTERP"
for tested_program in "$@"; do
    archive_name=${tested_program%%=*} tested=${tested_program#*=}
    member=$(basename "$tested")
    case "$archive_name" in
    windows-x86_64) unpacked_member="$unpacked/windows/$member" ;;
    linux-*) unpacked_member="$unpacked/${archive_name#linux-}/$member" ;;
    esac
    check "$archive_name: $member is the program its tree's tests ran" cmp -s "$unpacked_member" "$tested"

    # Every file of a library that the linker put into that tree's program is
    # named in its archive's notices.
    notices="$(dirname "$unpacked_member")/THIRD-PARTY-NOTICES.txt"
    linked=$(sed -n -e 's/^\(\/[^(]*\.a\)(.*/\1/p' -e 's/^LOAD \(\/.*\.o\)$/\1/p' "$(dirname "$tested")/orvenna.map" |
        xargs -n 1 basename | sort -u)
    check "$archive_name: the link map names libraries (the check below has something to check)" test -n "$linked"
    for file in $linked; do
        check "$archive_name: the notices name the linked $file" grep -q -E "^  Files linked: .* $file( |.?$)" "$notices"
    done
    case "$archive_name" in
    windows-x86_64)
        check "windows: the mingw-w64 copyright file is carried" grep -q 'mingw-w64-x86-64-dev/copyright' "$notices" ;;
    linux-*)
        check "$archive_name: the LGPL's text and how to relink with another C library, from this commit" \
            bash -c "grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' '$notices' &&
                grep -q '^Relinking with another C library' '$notices' &&
                grep -q \"(commit $(git -C "$scratch/first/source" rev-parse HEAD))\" '$notices'" ;;
    esac
done

# A library that no row of the table names stops the release.
printf 'Archive member included to satisfy reference by file (symbol)\n\n%s(member.o)\n' \
    "$(command -v bash)" > "$scratch/unnamed.map"
bash "$source_dir/release/notices.sh" "$scratch/unnamed.map" Test 0 > /dev/null 2> "$scratch/unnamed.err"
check "a linked file of a package the table does not name stops the notices, named" \
    bash -c "test $? = 1 && grep -q 'bash.*named nowhere' '$scratch/unnamed.err'"

# Uncommitted changes to tracked files: no release.
echo "an edit" >> "$scratch/first/source/README.md"
bash "$scratch/first/source/release/dist.sh" "$scratch/dirty" > /dev/null 2> "$scratch/dirty.err"
check "uncommitted changes: refused with status 1 and a message, nothing written" \
    bash -c "test $? = 1 && grep -q 'uncommitted changes' '$scratch/dirty.err' && test ! -e '$scratch/dirty'"
report_checks
