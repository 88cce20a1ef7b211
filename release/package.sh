#!/usr/bin/env bash
# Packs built programs into the release archives, the Debian packages of the
# Linux programs (release/debian_package.sh) and their checksums in
# OUTPUT_DIRECTORY: each BUILD directory holds its program (orvenna or
# orvenna.exe) and the link map beside it (orvenna.map), from which its
# third-party notices are made. Members go in a fixed order with fixed owners,
# modes and times (the commit's date, or SOURCE_DATE_EPOCH): the same programs
# give the same bytes wherever and whenever they are packed.
#   release/package.sh OUTPUT_DIRECTORY WINDOWS_BUILD LINUX_X86_64_BUILD LINUX_AARCH64_BUILD
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
declare -A builds=([windows]=$(realpath "$2") [linux-x86_64]=$(realpath "$3") [linux-aarch64]=$(realpath "$4"))
source "$source_dir/release/commit.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C

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

notices() {  # notices NAME TITLE: the notices of what the linker put into that build's program
    bash "$source_dir/release/notices.sh" "${builds[$1]}/orvenna.map" "Orvenna $version for $2" "$commit"
}

mkdir -p "$out"
rm -f "$out"/orvenna-*.zip "$out"/orvenna-*.tar.gz "$out"/orvenna_*.deb "$out/SHA256SUMS"

user_readme | sed 's/$/\r/' > "$work/README.txt"
sed 's/$/\r/' "$source_dir/LICENSE" > "$work/LICENSE.txt"
notices windows "Windows x86-64" | sed 's/$/\r/' > "$work/THIRD-PARTY-NOTICES.txt"
stage windows "${builds[windows]}/orvenna.exe" 755 "$work/README.txt" 644 "$work/LICENSE.txt" 644 \
    "$work/THIRD-PARTY-NOTICES.txt" 644
(cd "$work/stage-windows" &&
    zip -X -q "$out/orvenna-$version-windows-x86_64.zip" LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt orvenna.exe)

for architecture in x86_64 aarch64; do
    mkdir -p "$work/linux-$architecture"
    notices "linux-$architecture" "Linux $architecture" > "$work/linux-$architecture/THIRD-PARTY-NOTICES.txt"
    stage "linux-$architecture" "${builds[linux-$architecture]}/orvenna" 755 "$source_dir/README.md" 644 \
        "$source_dir/LICENSE" 644 "$work/linux-$architecture/THIRD-PARTY-NOTICES.txt" 644
    tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" --format=gnu \
        -C "$work/stage-linux-$architecture" -cf - LICENSE README.md THIRD-PARTY-NOTICES.txt orvenna |
        gzip -9 -n > "$out/orvenna-$version-linux-$architecture.tar.gz"
done

for pair in amd64:x86_64 arm64:aarch64; do
    bash "$source_dir/release/debian_package.sh" "$out" "${pair%%:*}" "${builds[linux-${pair#*:}]}/orvenna" \
        "$work/linux-${pair#*:}/THIRD-PARTY-NOTICES.txt"
done

(cd "$out" && sha256sum "orvenna-$version-windows-x86_64.zip" "orvenna-$version-linux-x86_64.tar.gz" \
    "orvenna-$version-linux-aarch64.tar.gz" orvenna_*_amd64.deb orvenna_*_arm64.deb > SHA256SUMS)
echo "release archives and packages in $out:"
cat "$out/SHA256SUMS"
