#!/usr/bin/env bash
# Prints the project's version as CMakeLists.txt sets it, the one place it is written.
sed -n 's/^project(Orvenna VERSION \([0-9.]*\).*/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../CMakeLists.txt"
