#!/usr/bin/env bash
# What the Windows executable declares: the DLLs it imports and its default stack.
set -u
source "$(dirname "$0")/../lib/check.sh"
headers=$(x86_64-w64-mingw32-objdump -p "$1") || exit 1
imports=$(grep 'DLL Name:' <<< "$headers" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
check "imports only KERNEL32, MSVCRT, SHELL32 and USER32 (got: $imports)" \
    test "$imports" = "KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL "
check "stack reserve 4 KB" grep -q 'SizeOfStackReserve[[:space:]]*0*1000$' <<< "$headers"
check "stack commit 4 KB" grep -q 'SizeOfStackCommit[[:space:]]*0*1000$' <<< "$headers"
check "a 64-bit console program" grep -q 'Subsystem[[:space:]]*00000003' <<< "$headers"
report_checks
