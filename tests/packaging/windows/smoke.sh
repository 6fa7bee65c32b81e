#!/usr/bin/env bash
# Smoke test of the Windows package, under wine with an X server: unpacks the
# zip, starts the executable from an empty working folder with no controllers,
# and checks through the probe plugin what the window shows.
# Usage: smoke.sh <package.zip> <vorkastprobe.dll>
set -euo pipefail
zip="$1"
probe="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

unzip -q "$zip" -d "$work/unpacked"
program="$(find "$work/unpacked" -name vorkast-settings.exe | head -n1)"
mkdir -p "$(dirname "$program")/generic" "$work/run"
cp "$probe" "$(dirname "$program")/generic/"

cd "$work/run"
status=0
timeout 120 wine "$program" -plugin "vorkastprobe:Z:${work//\//\\}\\report.txt" || status=$?

expected="title: Vorkast system settings
tab: Joystick (Not connected)
tab: Pedals (Not connected)
tab: Telemetry
profiles folder: yes"
actual="$(tr -d '\r' <"$work/report.txt" 2>/dev/null || true)"
if [[ $status -ne 0 || "$actual" != "$expected" || ! -d "$work/run/profiles" ]]; then
    echo "smoke test of $(basename "$zip") failed (exit status $status); the window showed:" >&2
    echo "${actual:-nothing}" >&2
    exit 1
fi
echo "smoke test of $(basename "$zip") passed"
