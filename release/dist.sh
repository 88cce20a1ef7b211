#!/usr/bin/env bash
# Builds the release programs from the last commit and packs them into the
# release archives and their checksums in OUTPUT_DIRECTORY (default dist/).
# No build paths or link times go into the programs: the same commit gives the
# same bytes wherever and whenever it is built. A working tree with uncommitted
# changes to tracked files is refused before anything is built (see commit.sh).
#   release/dist.sh [OUTPUT_DIRECTORY]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$source_dir/dist}")
source "$source_dir/release/commit.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-dist-XXXXXX")
trap 'rm -rf "$work"' EXIT

build() {  # build NAME [CMAKE_ARGUMENTS...]: the program alone, as the test trees build it
    cmake -S "$source_dir" -B "$work/$1" -DBUILD_TESTING=OFF "${@:2}" > /dev/null
    cmake --build "$work/$1" --target orvenna -j"$(nproc)" > /dev/null
}

build windows -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake"
build linux-x86_64
build linux-aarch64 -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/aarch64-linux-gnu.cmake"
bash "$source_dir/release/package.sh" "$out" "$work/windows" "$work/linux-x86_64" "$work/linux-aarch64"
