#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs a cross-built QtTest program
# under wine. The test log goes to a file and is printed afterwards, so it
# survives whatever wine does with the console; the exit code is the test's.
set -uo pipefail
program="$1"
shift
log="$(mktemp --suffix=.txt)"
trap 'rm -f "$log"' EXIT
wine "$program" -o "Z:${log//\//\\},txt" "$@"
status=$?
cat "$log"
exit "$status"
