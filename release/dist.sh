#!/usr/bin/env bash
# Builds the release archives and their checksums into OUTPUT_DIRECTORY
# (default dist/) from the last commit. The same commit gives the same bytes
# wherever and whenever it is built: no build paths or link times in the
# programs, and archive members in a fixed order with fixed owners, modes and
# times (the commit's date, or SOURCE_DATE_EPOCH). A working tree with
# uncommitted changes to tracked files is refused; ORVENNA_DIST_DIRTY=1 builds
# it all the same, into archives marked -dirty, for a local try.
#   release/dist.sh [OUTPUT_DIRECTORY]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$source_dir/dist}")
version=$(bash "$source_dir/release/version.sh")

if ! commit=$(git -C "$source_dir" rev-parse --verify -q HEAD); then
    echo "dist: $source_dir is not a git checkout with a commit: a release is built from a commit." >&2
    exit 1
fi
changes=$(git -C "$source_dir" status --porcelain --untracked-files=no)
if [ -n "$changes" ]; then
    if [ "${ORVENNA_DIST_DIRTY:-}" != 1 ]; then
        echo "dist: uncommitted changes to tracked files; a release is built from a commit only:" >&2
        echo "$changes" >&2
        echo "Commit them first, or run 'ORVENNA_DIST_DIRTY=1 make dist' for local archives marked -dirty." >&2
        exit 1
    fi
    version="$version-dirty"
    commit="$commit with uncommitted changes"
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-dist-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C

build() {  # build NAME [CMAKE_ARGUMENTS...]: the program alone, as the test trees build it
    cmake -S "$source_dir" -B "$work/$1" -DBUILD_TESTING=OFF "${@:2}" > /dev/null
    cmake --build "$work/$1" --target orvenna -j"$(nproc)" > /dev/null
}

# The README's sections for users, CR LF for Windows.
user_readme() {
    awk 'NR == 1 { keep = 1 } /^## / { keep = $0 !~ /^## (Tests|Measuring the workload code|Layout)$/ } keep' \
        "$source_dir/README.md"
}

stage() {  # stage NAME FILE MODE [FILE MODE...]: a fresh folder with the files, dated at the epoch
    local folder="$work/stage-$1"
    mkdir -p "$folder"
    shift
    while [ $# -gt 0 ]; do
        install -m "$2" "$1" "$folder/"
        shift 2
    done
    touch -h -d "@$epoch" "$folder"/*
}

build windows -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake"
build linux-x86_64
build linux-aarch64 -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/aarch64-linux-gnu.cmake"

mkdir -p "$out"
rm -f "$out"/orvenna-*.zip "$out"/orvenna-*.tar.gz "$out/SHA256SUMS"

notices() {  # notices BUILD TITLE: the notices of what the linker put into that build's program
    bash "$source_dir/release/notices.sh" "$work/$1/orvenna.map" "Orvenna $version for $2" "$commit"
}

user_readme | sed 's/$/\r/' > "$work/README.txt"
sed 's/$/\r/' "$source_dir/LICENSE" > "$work/LICENSE.txt"
notices windows "Windows x86-64" | sed 's/$/\r/' > "$work/windows/THIRD-PARTY-NOTICES.txt"
stage windows "$work/windows/orvenna.exe" 755 "$work/README.txt" 644 "$work/LICENSE.txt" 644 \
    "$work/windows/THIRD-PARTY-NOTICES.txt" 644
(cd "$work/stage-windows" &&
    zip -X -q "$out/orvenna-$version-windows-x86_64.zip" LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt orvenna.exe)

for architecture in x86_64 aarch64; do
    notices "linux-$architecture" "Linux $architecture" > "$work/linux-$architecture/THIRD-PARTY-NOTICES.txt"
    stage "linux-$architecture" "$work/linux-$architecture/orvenna" 755 "$source_dir/README.md" 644 \
        "$source_dir/LICENSE" 644 "$work/linux-$architecture/THIRD-PARTY-NOTICES.txt" 644
    tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" --format=gnu \
        -C "$work/stage-linux-$architecture" -cf - LICENSE README.md THIRD-PARTY-NOTICES.txt orvenna |
        gzip -9 -n > "$out/orvenna-$version-linux-$architecture.tar.gz"
done

(cd "$out" && sha256sum "orvenna-$version-windows-x86_64.zip" "orvenna-$version-linux-x86_64.tar.gz" \
    "orvenna-$version-linux-aarch64.tar.gz" > SHA256SUMS)
echo "release archives in $out:"
cat "$out/SHA256SUMS"
