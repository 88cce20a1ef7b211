#!/usr/bin/env bash
# The release archives and Debian packages are reproducible: those that
# release/dist.sh builds from a copy of the source in another directory are
# byte for byte those that release/package.sh packs from the programs the
# test trees built and tested; they hold what they should; each program's notices name
# every library in its link map (orvenna.map beside it).
#   reproducible.sh SOURCE_DIRECTORY ARCHIVE_NAME=TESTED_PROGRAM...
# (ARCHIVE_NAME: windows-x86_64, linux-x86_64 and linux-aarch64, all three;
# without them it is skipped with status 77: make test builds every tree)
set -u
source_dir=$1
shift
source "$source_dir/tests/lib/check.sh"
source "$source_dir/tests/lib/tested_programs.sh" "$@"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-reproducible-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
version=$(bash "$source_dir/release/version.sh")

# The tree under test, committed into a fresh repository at a path of its
# own: the same tree, author and dates give the same commit wherever it is.
copy="$scratch/a/longer/path/source"
mkdir -p "$copy"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy")
git -C "$copy" init -q
git -C "$copy" add -A
GIT_COMMITTER_DATE="@$SOURCE_DATE_EPOCH" git -C "$copy" -c user.name=Orvenna -c user.email=tests@orvenna.example \
    commit -q --date="@$SOURCE_DATE_EPOCH" -m "The tree under test"

bash "$copy/release/dist.sh" "$scratch/first/dist" > /dev/null
bash "$copy/release/package.sh" "$scratch/second/dist" "$(dirname "${tested[windows-x86_64]}")" \
    "$(dirname "${tested[linux-x86_64]}")" "$(dirname "${tested[linux-aarch64]}")" > /dev/null
archives="orvenna-$version-windows-x86_64.zip orvenna-$version-linux-x86_64.tar.gz orvenna-$version-linux-aarch64.tar.gz"
packages="orvenna_${version}_amd64.deb orvenna_${version}_arm64.deb"
for file in $archives $packages SHA256SUMS; do
    check "$file: the same bytes from the release build and from the tested programs" cmp -s "$scratch/first/dist/$file" "$scratch/second/dist/$file"
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
for archive_name in windows-x86_64 linux-x86_64 linux-aarch64; do
    tested=${tested[$archive_name]}
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
                grep -q \"(commit $(git -C "$copy" rev-parse HEAD))\" '$notices'" ;;
    esac
done

# A library that no row of the table names stops the release.
printf 'Archive member included to satisfy reference by file (symbol)\n\n%s(member.o)\n' \
    "$(command -v bash)" > "$scratch/unnamed.map"
bash "$source_dir/release/notices.sh" "$scratch/unnamed.map" Test 0 > /dev/null 2> "$scratch/unnamed.err"
check "a linked file of a package the table does not name stops the notices, named" \
    bash -c "test $? = 1 && grep -q 'bash.*named nowhere' '$scratch/unnamed.err'"

# Uncommitted changes to tracked files: no release.
echo "an edit" >> "$copy/README.md"
bash "$copy/release/dist.sh" "$scratch/dirty" > /dev/null 2> "$scratch/dirty.err"
check "uncommitted changes: refused with status 1 and a message, nothing written" \
    bash -c "test $? = 1 && grep -q 'uncommitted changes' '$scratch/dirty.err' && test ! -e '$scratch/dirty'"
report_checks
