#!/usr/bin/env bash
# Prints the third-party notices of one release program, made from its link
# map: every file the linker took code from, under the library it belongs to
# (release/third_party.tsv) with its Debian package, then those packages'
# copyright files and the license texts they refer to. Fails, naming the
# file, when a linked file belongs to no row of the table.
#   release/notices.sh LINK_MAP TITLE SOURCE_COMMIT
set -euo pipefail
map=$1 title=$2 commit=$3
table="$(dirname "$0")/third_party.tsv"
mapfile -t rows < <(grep -v '^#' "$table")

# Archives that gave the link at least one member, and start-up objects; the
# program's own objects are relative paths in the build tree.
linked_files() {
    awk '
        /^Archive member included/ { members = 1; next }
        /^(Discarded input sections|Allocating common symbols|Memory Configuration)/ { members = 0 }
        members && /^\// { sub(/\(.*/, ""); print }
        /^LOAD \// && $2 ~ /\.o$/ { print $2 }
    ' "$map" | xargs -r realpath | sort -u
}

field() {  # field ROW N
    cut -f "$2" <<< "${rows[$1]}"
}

row_of() {  # row_of PACKAGE FILE_NAME: the first row that takes the file
    local row
    for row in "${!rows[@]}"; do
        [ "$(field "$row" 1)" = "$1" ] && [[ $2 == $(field "$row" 2) ]] && echo "$row" && return
    done
    return 0
}

declare -A files_of=()
for file in $(linked_files); do
    package=$(dpkg -S "$file" 2> /dev/null | head -n 1 | cut -d: -f1 || true)
    row=$(row_of "$package" "$(basename "$file")")
    if [ -z "$row" ]; then
        echo "notices: $file (package ${package:-none}) is linked into the program but named nowhere in $table" >&2
        exit 1
    fi
    files_of[$row]+=" $(basename "$file")"
done
used_rows=$(printf '%s\n' "${!files_of[@]}" | sort -n)

cat << EOF
$title: third-party notices

Orvenna's own code is under the MIT license (LICENSE). The program in this
archive is linked statically with the libraries below. The list is made from
the program's link map: each library names the files the linker took code
from and the Debian package that provided them. The copyright notices and
license texts follow at the end, as those packages ship them.
EOF

relink=""
for row in $used_rows; do
    package=$(field "$row" 1)
    source_package=$(dpkg-query -W -f='${source:Package}' "$package")
    source_version=$(dpkg-query -W -f='${source:Version}' "$package")
    [[ $(field "$row" 4) == LGPL* ]] && relink=$(field "$row" 3)
    cat << EOF

$(field "$row" 3)
  Files linked:   $(tr ' ' '\n' <<< "${files_of[$row]}" | LC_ALL=C sort -u | xargs)
  Debian package: $package $(dpkg-query -W -f='${Version}' "$package")
  License:        $(field "$row" 4)
  Source:         Debian source package $source_package $source_version
                  (apt-get source $source_package=$source_version); upstream $(field "$row" 5)
EOF
done

if [ -n "$relink" ]; then
    cat << EOF

Relinking with another C library

The $relink is linked statically into this program. Its license
lets you use the program with another version of that library; Orvenna's
complete source is free (MIT). This program is built from Orvenna's source
(commit $commit) with

    cmake -S . -B build -DBUILD_TESTING=OFF
    cmake --build build --target orvenna

To link it with another C library, build that source with a compiler set up
for that library (-DCMAKE_CXX_COMPILER=...), or link the objects the build
leaves in build/ yourself against the library installed under LIBRARY_ROOT:

    g++ --sysroot=LIBRARY_ROOT -static -pthread -o orvenna \\
        build/CMakeFiles/orvenna.dir/driver/main.cpp.o \\
        build/liborvenna_core.a build/liborvenna_platform.a
EOF
fi

printf '\nCopyright notices and license texts\n'
rule=$(printf '=%.0s' {1..78})
declare -A shown=()
for row in $used_rows; do
    for text in "/usr/share/doc/$(field "$row" 1)/copyright" "$(field "$row" 6)"; do
        [ "$text" = "-" ] && continue
        key=$(sha256sum < "$text")
        [ -n "${shown[$key]:-}" ] && continue
        shown[$key]=1
        printf '\n%s\n%s (%s)\n%s\n\n' "$rule" "$(field "$row" 3)" "$text" "$rule"
        cat "$text"
    done
done
