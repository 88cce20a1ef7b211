#!/usr/bin/env bash
# Packs one Linux release program into a Debian package in OUTPUT_DIRECTORY,
# orvenna_VERSION_ARCHITECTURE.deb: the program in /usr/bin, its manual page,
# the copyright file in Debian's machine-readable format with the program's
# third-party notices, and a changelog. Every file is dated at the commit and
# dpkg-deb takes SOURCE_DATE_EPOCH for the rest: the same program gives the
# same bytes wherever and whenever it is packed.
#   release/debian_package.sh OUTPUT_DIRECTORY ARCHITECTURE PROGRAM NOTICES
# (ARCHITECTURE as Debian names it: amd64, arm64)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$1 architecture=$2 program=$3 notices=$4
source "$source_dir/release/commit.sh"
root=$(mktemp -d "${TMPDIR:-/tmp}/orvenna-deb-XXXXXX")
trap 'rm -rf "$root"' EXIT
chmod 755 "$root"
export TZ=UTC LC_ALL=C SOURCE_DATE_EPOCH=$epoch
# A package version has no hyphen of its own: a local try sorts before the release.
package_version=${version/-dirty/\~dirty}
maintainer="Orvenna developers <developers@orvenna.example>"
doc=usr/share/doc/orvenna

# Debian's machine-readable copyright format: Orvenna's license, and the
# notices of what is linked into the program, as the archives carry them.
copyright() {
    cat << EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Orvenna
Upstream-Contact: $maintainer
Comment: /usr/bin/orvenna is linked statically. What it carries besides
 Orvenna's own code, and under which licenses, follows here as the release
 archives' THIRD-PARTY-NOTICES.txt states it.
 .
EOF
    sed -e 's/^$/./' -e 's/^/ /' "$notices"
    cat << EOF

Files: *
Copyright: $(sed -n 's/^Copyright (c) //p' "$source_dir/LICENSE")
License: Expat

License: Expat
EOF
    sed -n '/^Permission/,$p' "$source_dir/LICENSE" | sed -e 's/^$/./' -e 's/^/ /'
}

changelog() {
    cat << EOF
orvenna ($package_version) unstable; urgency=medium

  * Release $version, built from
    commit $commit.

 -- $maintainer  $(date -R -d "@$epoch")
EOF
}

# The source packages of the libraries linked in, as the notices name them.
built_using() {
    sed -n 's/^  Source: *Debian source package \([^ ]*\) \([^ ]*\)$/\1 (= \2)/p' "$notices" | sort -u |
        paste -s -d ',' | sed 's/,/, /g'
}

control() {
    cat << EOF
Package: orvenna
Version: $package_version
Architecture: $architecture
Maintainer: $maintainer
Installed-Size: $(du -s -k --apparent-size "$root/usr" | cut -f 1)
Built-Using: $(built_using)
Section: utils
Priority: optional
Description: benchmark of parallel creation and removal of empty directories
 Orvenna measures how fast the file system of the current directory creates
 and removes empty directories under heavy parallel load: in each of seven
 timed cycles 1,024 threads create 92,160 directories and one thread removes
 them again; the score is the average cycle time. It takes no arguments: run
 it from a directory on the file system to measure. See orvenna(1).
EOF
}

install -d -m 755 "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$root/$doc" \
    "$root/usr/share/lintian/overrides"
install -m 755 "$program" "$root/usr/bin/orvenna"
sed "s/@DATE@/$(date -d "@$epoch" '+%B %-d, %Y')/" "$source_dir/release/orvenna.1" | gzip -9 -n \
    > "$root/usr/share/man/man1/orvenna.1.gz"
copyright > "$root/$doc/copyright"
changelog | gzip -9 -n > "$root/$doc/changelog.gz"
cat > "$root/usr/share/lintian/overrides/orvenna" << EOF
# One program for every distribution and release: static on purpose.
orvenna: statically-linked-binary [usr/bin/orvenna]
EOF
chmod 644 "$root/$doc"/* "$root/usr/share/man/man1"/* "$root/usr/share/lintian/overrides/orvenna"
(cd "$root" && find usr -type f | sort | xargs md5sum) > "$root/DEBIAN/md5sums"
control > "$root/DEBIAN/control"
chmod 644 "$root/DEBIAN"/*
find "$root" -exec touch -h -d "@$epoch" {} +
mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/orvenna_${package_version}_$architecture.deb" > /dev/null
